#pragma once

// A well-behaved video-system client that keeps the level the bridge last
// gave each element: the full state first, then every update, read on a
// thread of its own.

#include "VideoLink.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace soak {

class LevelWatcher
{
public:
    // An element by its depth (2 object, 3 sensor) and id.
    using Key = std::pair<uint8_t, int32_t>;

    LevelWatcher() = default;
    ~LevelWatcher();
    LevelWatcher(const LevelWatcher&) = delete;
    LevelWatcher& operator=(const LevelWatcher&) = delete;

    // Logs in, takes the full state and starts reading.
    bool Open(uint16_t port, const std::string& login, const std::string& password, std::string& error);
    void Close();

    std::map<Key, int32_t> Levels() const;
    uint64_t Updates() const { return m_updates.load(); }
    // False once the bridge closed the link or sent what is not a frame.
    bool Connected() const { return !m_lost.load(); }

private:
    void Read();

    eventpath::VideoLink m_link;
    mutable std::mutex m_mutex;
    std::map<Key, int32_t> m_levels;
    std::atomic<uint64_t> m_updates{0};
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

} // namespace soak
