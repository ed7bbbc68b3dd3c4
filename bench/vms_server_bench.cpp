// The video-system server: updates per second delivered to 1, 10 and 100
// connected clients, and the process's memory while it serves them. The server
// runs in this process on a loopback port; one thread reads for every client.
#include "model/ElementRecord.h"
#include "support/ConnectionSettings.h"
#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"
#include "vms/VmsServer.h"

#include "platform/Socket.h"

#include "BenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kUpdatesPerBatch = 1000;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
double status_kib(const char* field)
{
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr)
        return 0;
    char line[256];
    double value = 0;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtod(line + length + 1, nullptr);
            break;
        }
    }
    std::fclose(file);
    return value;
}

void start_server_once()
{
    static const bool started = [] {
        login = "bench";
        password = "bench";
        local_port = 0;
        return start_vms_server();
    }();
    if (!started)
        throw std::runtime_error("the server did not start");
}

// Reads frames from a blocking socket until one whole frame is there.
LinkFrameReader::Frame read_frame(platform::SocketHandle socket, LinkFrameReader& reader)
{
    LinkFrameReader::Frame frame;
    uint8_t chunk[4096];
    while (reader.Next(frame) != LinkFrameReader::Result::Frame) {
        const long n = platform::receive_some(socket, chunk, sizeof(chunk));
        if (n <= 0)
            throw std::runtime_error("the bridge closed the connection");
        reader.Feed(chunk, static_cast<size_t>(n));
    }
    return frame;
}

// Clients logged in with the state taken, so every update reaches each; one
// thread counts the bytes they receive.
class Clients
{
public:
    explicit Clients(int count)
    {
        for (int i = 0; i < count; ++i) {
            const platform::SocketHandle socket = platform::create_tcp_socket();
            platform::Ipv4Endpoint endpoint;
            endpoint.address = platform::kLoopbackAddress;
            endpoint.port = vms_server_port();
            if (!platform::connect_with_timeout(socket, endpoint, 5000))
                throw std::runtime_error("cannot connect");
            m_sockets.push_back(socket);
            LinkFrameReader reader;
            const auto login_frame = make_link_frame(LINK_LOGIN, link_login_text(login, password));
            const auto state_request = make_link_frame(LINK_GET_STATE, "");
            platform::send_all(socket, login_frame.data(), login_frame.size());
            if (read_frame(socket, reader).command != LINK_LOGIN_OK)
                throw std::runtime_error("login refused");
            platform::send_all(socket, state_request.data(), state_request.size());
            if (read_frame(socket, reader).command != LINK_STATE)
                throw std::runtime_error("no state");
        }
        m_reader = std::thread([this] { Read(); });
    }
    ~Clients()
    {
        m_stop = true;
        m_reader.join();
        for (platform::SocketHandle socket : m_sockets)
            platform::close_socket(socket);
    }

    uint64_t Received() const { return m_received; }

private:
    void Read()
    {
        std::vector<pollfd> descriptors;
        for (platform::SocketHandle socket : m_sockets)
            descriptors.push_back(pollfd{socket, POLLIN, 0});
        std::vector<uint8_t> chunk(64 * 1024);
        while (!m_stop) {
            if (::poll(descriptors.data(), descriptors.size(), 50) <= 0)
                continue;
            for (pollfd& descriptor : descriptors) {
                if ((descriptor.revents & POLLIN) == 0)
                    continue;
                const long n = platform::receive_some(descriptor.fd, chunk.data(), chunk.size());
                if (n > 0)
                    m_received += static_cast<uint64_t>(n);
            }
        }
    }

    std::vector<platform::SocketHandle> m_sockets;
    std::atomic<uint64_t> m_received{0};
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

void BM_UpdatesToClients(benchmark::State& state)
{
    start_server_once();
    const int count = static_cast<int>(state.range(0));

    auto element = std::make_shared<KorvelElement>();
    element->ID = 1001;
    element->Group = 10;
    element->ObjectID = 100;
    element->StateLevel = 2;
    element->Name = "Датчик двери 1";
    std::vector<uint8_t> record;
    append_element_record(element, LEVEL_SENSOR, record);
    const uint64_t frame_size = kLinkHeaderSize + record.size();

    Clients clients(count);
    uint64_t expected = 0;
    double rss_peak = 0;
    for (auto _ : state) {
        for (int i = 0; i < kUpdatesPerBatch; ++i)
            broadcast_update(element, LEVEL_SENSOR);
        expected += frame_size * kUpdatesPerBatch * static_cast<uint64_t>(count);
        while (clients.Received() < expected)
            std::this_thread::yield();
        rss_peak = std::max(rss_peak, status_kib("VmRSS"));
    }
    state.SetItemsProcessed(state.iterations() * kUpdatesPerBatch * count);
    state.counters["rss_peak_kib"] = rss_peak;
    state.counters["hwm_kib"] = status_kib("VmHWM");
}

} // namespace

// items_per_second: updates delivered, summed over the clients.
BENCHMARK(BM_UpdatesToClients)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

KORVEL_BENCHMARK_MAIN("usage: vms_server_bench [--benchmark_* flags]\n"
                      "The video-system server in this process: updates per second delivered to 1, 10\n"
                      "and 100 loopback clients, and the memory while it serves them.")
