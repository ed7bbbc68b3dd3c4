#include "LevelWatcher.h"

#include "vms/LinkProtocol.h"

#include "platform/Socket.h"

#include <poll.h>

#include <vector>

namespace soak {

LevelWatcher::~LevelWatcher()
{
    Close();
}

bool LevelWatcher::Open(uint16_t port, const std::string& login, const std::string& password, std::string& error)
{
    Close();
    std::vector<ElementRecord> records;
    if (!m_link.Open(port, login, password, error) || !m_link.RequestState(records, error))
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_levels.clear();
        for (const ElementRecord& record : records)
            m_levels[Key(record.level, record.ID)] = record.StateLevel;
    }
    m_stop = false;
    m_lost = false;
    m_reader = std::thread(&LevelWatcher::Read, this);
    return true;
}

void LevelWatcher::Close()
{
    m_stop = true;
    if (m_reader.joinable())
        m_reader.join();
    m_link.Close();
}

std::map<LevelWatcher::Key, int32_t> LevelWatcher::Levels() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_levels;
}

void LevelWatcher::Read()
{
    std::vector<uint8_t> chunk(64 * 1024);
    LinkFrameReader::Frame frame;
    while (!m_stop) {
        pollfd descriptor{m_link.Socket(), POLLIN, 0};
        if (::poll(&descriptor, 1, 20) <= 0)
            continue;
        const long received = platform::receive_some(m_link.Socket(), chunk.data(), chunk.size());
        if (received <= 0) {
            m_lost = true;
            return;
        }
        LinkFrameReader& reader = m_link.Reader();
        reader.Feed(chunk.data(), static_cast<size_t>(received));
        for (;;) {
            const LinkFrameReader::Result result = reader.Next(frame);
            if (result == LinkFrameReader::Result::BadStart) {
                m_lost = true;
                return;
            }
            if (result != LinkFrameReader::Result::Frame)
                break;
            size_t offset = 0;
            ElementRecord record;
            if (frame.command != LINK_UPDATE ||
                !read_element_record(frame.payload.data(), frame.payload.size(), offset, record))
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_levels[Key(record.level, record.ID)] = record.StateLevel;
            ++m_updates;
        }
    }
}

} // namespace soak
