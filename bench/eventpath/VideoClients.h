#pragma once

// Video-system clients of the bridge in this process: each logs in, takes the
// full state (which must hold every element at the level the events sent so
// far give it) and then counts every update it receives. A few reader threads
// share the clients.

#include "BenchWorld.h"
#include "SendLog.h"
#include "UpdateTally.h"

#include "VideoLink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace eventpath {

class VideoClients
{
public:
    VideoClients(const BenchWorld& world, uint16_t port, std::string login, std::string password);
    ~VideoClients();
    VideoClients(const VideoClients&) = delete;
    VideoClients& operator=(const VideoClients&) = delete;

    // Connects `count` clients for the phase whose events the send log holds,
    // each logged in with the state taken and checked, and starts `readers`
    // reading threads.
    bool Open(int count, int readers, const SendLog& sendLog, bool keepLatencies, std::string& error);
    // Stops reading and closes every client.
    void Close();

    // The fewest updates any client has matched so far.
    uint64_t LeastMatched() const;
    // Until every client has matched `count` updates; false after timeoutMs or
    // when a client lost its connection.
    bool WaitMatched(uint64_t count, int timeoutMs) const;

    uint64_t TotalMatched() const;
    uint64_t TotalUnexpected() const;
    bool AnyClosed() const { return m_closed.load() != 0; }
    // Every client's latencies together.
    std::vector<int64_t> Latencies() const;

private:
    struct Client;

    void Read(std::vector<Client*> clients);

    const BenchWorld& m_world;
    uint16_t m_port;
    std::string m_login;
    std::string m_password;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::vector<std::thread> m_readers;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_closed{0};
};

} // namespace eventpath
