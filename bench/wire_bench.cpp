// Scrambling, descrambling and framing of a 1 MiB message, each against a plain
// memcpy of the same bytes in the same run. The ratios are what we track.
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/PayloadScrambler.h"

#include "BenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>
#include <vector>

namespace {

constexpr int32_t kMessageSize = 1 << 20;
constexpr int32_t kMaxFrame = 8192;

std::vector<uint8_t> message()
{
    std::vector<uint8_t> data(kMessageSize);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + 7);
    return data;
}

void BM_Memcpy(benchmark::State& state)
{
    const auto source = message();
    std::vector<uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void BM_Scramble(benchmark::State& state)
{
    auto buffer = message();
    for (auto _ : state) {
        ScramblePayload(buffer.data(), kMessageSize, kStationKeyWord);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void BM_Descramble(benchmark::State& state)
{
    auto buffer = message();
    for (auto _ : state) {
        DescramblePayload(buffer.data(), kMessageSize, kStationKeyWord);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMessageSize);
}

void BM_CutIntoFrames(benchmark::State& state)
{
    const auto data = message();
    CLanPacket packet;
    packet.Create(2, 0, data.data(), kMessageSize);
    CLanPacketHelper helper;
    std::vector<uint8_t> frame(kMaxFrame);
    std::vector<uint8_t> wire(static_cast<size_t>(kMessageSize) + 200 * 28);
    for (auto _ : state) {
        // As the connection sends: one frame buffer reused for each frame.
        const int32_t count = helper.GetFrameCount(packet, kMaxFrame);
        size_t offset = 0;
        for (int32_t i = 0; i < count; ++i) {
            int32_t size = 0;
            helper.BuildFrame(packet, i, frame.data(), kMaxFrame, size);
            std::memcpy(wire.data() + offset, frame.data(), static_cast<size_t>(size));
            offset += static_cast<size_t>(size);
        }
        benchmark::DoNotOptimize(wire.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kMessageSize);
}

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Scramble);
BENCHMARK(BM_Descramble);
BENCHMARK(BM_CutIntoFrames);

// Prints the usual table, then each benchmark's time relative to memcpy.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto reference = m_times.find("BM_Memcpy");
        if (reference == m_times.end() || reference->second <= 0)
            return;
        std::cout << "\nTime relative to memcpy of the same 1 MiB:\n";
        for (const auto& [name, time] : m_times)
            if (name != "BM_Memcpy")
                std::cout << "  " << name << ": " << time / reference->second << "x\n";
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    const int status = benchmark_command_line(
        argc, argv,
        "usage: wire_bench [--benchmark_* flags]\n"
        "Scrambling, descrambling and framing of a 1 MiB message, each against a plain\n"
        "memcpy of the same bytes; prints the ratios.");
    if (status >= 0)
        return status;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
