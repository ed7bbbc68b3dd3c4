#pragma once

#include <memory>
#include <mutex>
#include <vector>

class OrvantaConnection;

// The video-system connections, held weakly: a connection lives only while an
// operation of its own is pending. Guarded by its own mutex (the list mutex),
// never held together with the model mutex.
class ConnectionList
{
public:
    void Append(const std::weak_ptr<OrvantaConnection>& connection);

    // Drops the entries whose connection has gone.
    void PruneExpired();

    // Calls fn for each connection still alive, under the list mutex.
    template <typename Fn>
    void ForEachAlive(Fn fn)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& entry : m_connections) {
            if (const std::shared_ptr<OrvantaConnection> connection = entry.lock())
                fn(connection);
        }
    }

    // Empties the list; the connections still alive are returned.
    std::vector<std::shared_ptr<OrvantaConnection>> TakeAll();

    // Entries, expired ones included.
    size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::weak_ptr<OrvantaConnection>> m_connections;
};

// The server's connections.
extern ConnectionList g_connection_list;
