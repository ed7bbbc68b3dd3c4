#include "logger/Backlog.h"

#include "utils/Assertion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

Backlog::Backlog(uint32_t size)
    : m_buffer(size, '\0')
{
}

void Backlog::write(const char* text)
{
    const size_t size = m_buffer.size();
    if (size == 0)
        return;
    size_t remain = std::strlen(text);
    if (remain > size) {
        std::memcpy(m_buffer.data(), text + remain - size, size);
        m_position = size;
        m_wrapped = false;
        return;
    }
    while (remain > 0) {
        if (m_position == size) {
            m_position = 0;
            m_wrapped = true;
        }
        const size_t chunk = std::min(remain, size - m_position);
        KORVEL_ASSERT(remain >= chunk);
        std::memcpy(m_buffer.data() + m_position, text, chunk);
        m_position += chunk;
        text += chunk;
        remain -= chunk;
    }
}

bool Backlog::dump(const std::string& name) const
{
    // "x": never over another crash log.
    FILE* file = std::fopen(name.c_str(), "wbx");
    if (file == nullptr) {
        if (errno == EEXIST)
            return false;
        std::fprintf(stderr, "LOGGER ERROR: can not open file \"%s\" to dump backlog\n", name.c_str());
        return true;
    }
    if (m_wrapped)
        std::fwrite(m_buffer.data() + m_position, 1, m_buffer.size() - m_position, file);
    std::fwrite(m_buffer.data(), 1, m_position, file);
    std::fclose(file);
    return true;
}
