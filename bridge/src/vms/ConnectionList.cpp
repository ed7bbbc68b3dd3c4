#include "vms/ConnectionList.h"

#include <algorithm>

ConnectionList g_connection_list;

void ConnectionList::Append(const std::weak_ptr<OrvantaConnection>& connection)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.push_back(connection);
}

void ConnectionList::PruneExpired()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                       [](const std::weak_ptr<OrvantaConnection>& c) { return c.expired(); }),
                        m_connections.end());
}

std::vector<std::shared_ptr<OrvantaConnection>> ConnectionList::TakeAll()
{
    std::vector<std::weak_ptr<OrvantaConnection>> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        taken.swap(m_connections);
    }
    std::vector<std::shared_ptr<OrvantaConnection>> alive;
    for (const auto& entry : taken) {
        if (auto connection = entry.lock())
            alive.push_back(std::move(connection));
    }
    return alive;
}

size_t ConnectionList::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.size();
}
