#include "VideoClients.h"

#include "vms/LinkProtocol.h"

#include "platform/Socket.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace eventpath {

struct VideoClients::Client
{
    Client(const BenchWorld& world, const SendLog& sendLog, bool keepLatencies)
        : tally(world, sendLog, keepLatencies)
    {
    }

    VideoLink link;
    UpdateTally tally;
    bool closed = false;
};

VideoClients::VideoClients(const BenchWorld& world, uint16_t port, std::string login, std::string password)
    : m_world(world), m_port(port), m_login(std::move(login)), m_password(std::move(password))
{
}

VideoClients::~VideoClients()
{
    Close();
}

bool VideoClients::Open(int count, int readers, const SendLog& sendLog, bool keepLatencies, std::string& error)
{
    Close();
    for (int i = 0; i < count; ++i) {
        auto client = std::make_unique<Client>(m_world, sendLog, keepLatencies);
        std::vector<ElementRecord> records;
        if (!client->link.Open(m_port, m_login, m_password, error) || !client->link.RequestState(records, error))
            return false;
        error = m_world.CheckState(records, sendLog.FirstEvent());
        if (!error.empty())
            return false;
        m_clients.push_back(std::move(client));
    }
    m_stop = false;
    m_closed = 0;
    const size_t threads = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(readers), m_clients.size()));
    std::vector<std::vector<Client*>> shares(threads);
    for (size_t i = 0; i < m_clients.size(); ++i)
        shares[i % threads].push_back(m_clients[i].get());
    for (auto& share : shares)
        m_readers.emplace_back([this, share] { Read(share); });
    return true;
}

void VideoClients::Close()
{
    m_stop = true;
    for (std::thread& reader : m_readers)
        reader.join();
    m_readers.clear();
    m_clients.clear();
}

uint64_t VideoClients::LeastMatched() const
{
    uint64_t least = UINT64_MAX;
    for (const auto& client : m_clients)
        least = std::min(least, client->tally.Matched());
    return m_clients.empty() ? 0 : least;
}

bool VideoClients::WaitMatched(uint64_t count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LeastMatched() < count) {
        if (AnyClosed() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

uint64_t VideoClients::TotalMatched() const
{
    uint64_t total = 0;
    for (const auto& client : m_clients)
        total += client->tally.Matched();
    return total;
}

uint64_t VideoClients::TotalUnexpected() const
{
    uint64_t total = 0;
    for (const auto& client : m_clients)
        total += client->tally.Unexpected();
    return total;
}

std::vector<int64_t> VideoClients::Latencies() const
{
    std::vector<int64_t> all;
    for (const auto& client : m_clients)
        all.insert(all.end(), client->tally.Latencies().begin(), client->tally.Latencies().end());
    return all;
}

void VideoClients::Read(std::vector<Client*> clients)
{
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    if (poller < 0) {
        m_closed += static_cast<int>(clients.size());
        return;
    }
    for (Client* client : clients) {
        epoll_event interest{};
        interest.events = EPOLLIN;
        interest.data.ptr = client;
        ::epoll_ctl(poller, EPOLL_CTL_ADD, client->link.Socket(), &interest);
    }
    std::vector<epoll_event> ready(clients.size());
    std::vector<uint8_t> chunk(256 * 1024);
    LinkFrameReader::Frame frame;
    while (!m_stop) {
        const int n = ::epoll_wait(poller, ready.data(), static_cast<int>(ready.size()), 20);
        for (int i = 0; i < n; ++i) {
            auto* client = static_cast<Client*>(ready[i].data.ptr);
            const long received = platform::receive_some(client->link.Socket(), chunk.data(), chunk.size());
            // Every frame of this chunk was complete by now.
            const int64_t arrival = now_ns();
            if (received <= 0) {
                ::epoll_ctl(poller, EPOLL_CTL_DEL, client->link.Socket(), nullptr);
                client->closed = true;
                ++m_closed;
                continue;
            }
            LinkFrameReader& reader = client->link.Reader();
            reader.Feed(chunk.data(), static_cast<size_t>(received));
            for (;;) {
                const LinkFrameReader::Result result = reader.Next(frame);
                if (result != LinkFrameReader::Result::Frame) {
                    if (result == LinkFrameReader::Result::BadStart) {
                        ::epoll_ctl(poller, EPOLL_CTL_DEL, client->link.Socket(), nullptr);
                        client->tally.TakeOtherFrame();
                        client->closed = true;
                        ++m_closed;
                    }
                    break;
                }
                size_t offset = 0;
                ElementRecord record;
                if (frame.command == LINK_UPDATE &&
                    read_element_record(frame.payload.data(), frame.payload.size(), offset, record) &&
                    offset == frame.payload.size())
                    client->tally.Take(record, arrival);
                else
                    client->tally.TakeOtherFrame();
            }
        }
    }
    ::close(poller);
}

} // namespace eventpath
