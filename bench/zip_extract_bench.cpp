// Extraction of one 256 MiB text-like entry with CZipArchive::ExtractFile (65536-byte
// buffer) against a plain loop over the same archive (64 KiB reads, raw inflate,
// crc32, 64 KiB writes), with the peak memory that ExtractFile adds. We aim at a
// ratio within 1.2x and a growth of a few MiB, whatever the entry size.
#include "zip/CZipArchive.h"

#include "ZipArchiveBuilder.h"

#include "BenchmarkMain.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t kEntrySize = size_t{256} << 20;
constexpr uint32_t kChunk = 65536;

struct Fixture
{
    std::string folder;
    std::string archive;
    uint64_t dataOffset = 0;
    uint32_t compressedSize = 0;
};
Fixture g_fixture;
double g_bestSeconds[2] = {0, 0}; // ExtractFile, plain loop

// Words of a small vocabulary in a pseudo-random order: deflates about as XML does.
std::string TextLike(size_t size)
{
    static const char* const words[] = {"<object ", "id=\"", "name=\"", "\" ", "/>\n", "sensor", "group", "state",
                                        "alarm", "guard", "zone", "0", "17", "255", "4096", "Korvel", "station"};
    std::string text;
    text.reserve(size + 16);
    for (uint32_t seed = 1; text.size() < size;) {
        seed = seed * 1664525 + 1013904223;
        text += words[(seed >> 16) % (sizeof words / sizeof *words)];
    }
    text.resize(size);
    return text;
}

void MakeArchive()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zip-bench-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    g_fixture.folder = pattern;
    g_fixture.archive = pattern + "/big.zip";
    ziptest::Archive archive;
    archive.entries.push_back(ziptest::MakeEntry("big.txt", TextLike(kEntrySize)));
    const ziptest::Built built = ziptest::Build(archive);
    ziptest::WriteFile(g_fixture.archive, built.bytes);
    g_fixture.dataOffset = built.dataOffsets[0];
    CZipArchive zip;
    zip.Open(g_fixture.archive, CZipArchive::zipOpenReadOnly);
    CZipFileHeader header;
    zip.GetFileInfo(header, 0);
    g_fixture.compressedSize = header.m_uComprSize;
}

long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

void Record(int which, std::chrono::steady_clock::time_point start)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (g_bestSeconds[which] == 0 || seconds < g_bestSeconds[which])
        g_bestSeconds[which] = seconds;
}

void BM_ExtractFile(benchmark::State& state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CZipArchive zip;
        zip.Open(g_fixture.archive, CZipArchive::zipOpenReadOnly);
        if (!zip.ExtractFile(0, g_fixture.folder + "/library", false, "", kChunk))
            state.SkipWithError("ExtractFile failed");
        zip.Close();
        Record(0, start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kEntrySize));
}

void BM_PlainLoop(benchmark::State& state)
{
    std::vector<unsigned char> in(kChunk);
    std::vector<unsigned char> out(kChunk);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int source = open(g_fixture.archive.c_str(), O_RDONLY | O_CLOEXEC);
        const std::string plain = g_fixture.folder + "/plain.txt";
        const int target = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        lseek(source, static_cast<off_t>(g_fixture.dataOffset), SEEK_SET);
        z_stream stream = {};
        inflateInit2(&stream, -MAX_WBITS);
        uLong crc = crc32(0, Z_NULL, 0);
        uint32_t left = g_fixture.compressedSize;
        int result = Z_OK;
        while (result != Z_STREAM_END) {
            if (stream.avail_in == 0) {
                const ssize_t got = read(source, in.data(), std::min(left, kChunk));
                if (got <= 0)
                    break;
                left -= static_cast<uint32_t>(got);
                stream.next_in = in.data();
                stream.avail_in = static_cast<uInt>(got);
            }
            stream.next_out = out.data();
            stream.avail_out = kChunk;
            result = inflate(&stream, Z_SYNC_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                break;
            const uInt produced = kChunk - stream.avail_out;
            crc = crc32(crc, out.data(), produced);
            if (write(target, out.data(), produced) != static_cast<ssize_t>(produced))
                break;
        }
        inflateEnd(&stream);
        close(target);
        close(source);
        if (result != Z_STREAM_END || stream.total_out != kEntrySize)
            state.SkipWithError("plain loop failed");
        benchmark::DoNotOptimize(crc);
        Record(1, start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kEntrySize));
}

BENCHMARK(BM_ExtractFile)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainLoop)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory that one extraction adds to the process.
long PeakGrowthKiB()
{
    // Writing 5 resets the peak to the current resident size.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKiB("VmRSS:");
    CZipArchive zip;
    zip.Open(g_fixture.archive, CZipArchive::zipOpenReadOnly);
    zip.ExtractFile(0, g_fixture.folder + "/memory", false, "", kChunk);
    zip.Close();
    return StatusKiB("VmHWM:") - before;
}

} // namespace

int main(int argc, char** argv)
{
    const int status = benchmark_command_line(
        argc, argv,
        "usage: zip_extract_bench [--benchmark_* flags]\n"
        "Extraction of a 256 MiB entry with CZipArchive::ExtractFile against a plain inflate\n"
        "loop, with the peak memory ExtractFile adds (the archive is written to a\n"
        "temporary folder first).");
    if (status >= 0)
        return status;
    MakeArchive();
    const long growth = PeakGrowthKiB();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_fixture.folder);

    const double mib = static_cast<double>(kEntrySize) / (1 << 20);
    std::cout << "\n256 MiB entry (" << g_fixture.compressedSize / (1 << 20) << " MiB deflated), best of 3:\n"
              << "  ExtractFile: " << mib / g_bestSeconds[0] << " MiB/s\n"
              << "  plain loop:  " << mib / g_bestSeconds[1] << " MiB/s\n"
              << "  ratio ExtractFile/plain time: " << g_bestSeconds[0] / g_bestSeconds[1] << "x (aim: within 1.2x)\n"
              << "  peak memory growth of one ExtractFile: " << growth / 1024.0 << " MiB\n";
    return 0;
}
