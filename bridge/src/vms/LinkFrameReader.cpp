#include "vms/LinkFrameReader.h"

#include "vms/LinkProtocol.h"

void LinkFrameReader::Feed(const void* data, size_t size)
{
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
    m_start = 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
}

LinkFrameReader::Result LinkFrameReader::Next(Frame& frame)
{
    if (Buffered() < kLinkHeaderSize)
        return Result::NeedMore;
    LinkHeader header;
    if (!read_link_header(m_buffer.data() + m_start, header))
        return Result::BadStart;
    if (Buffered() - kLinkHeaderSize < header.length)
        return Result::NeedMore;
    const uint8_t* payload = m_buffer.data() + m_start + kLinkHeaderSize;
    frame.command = header.command;
    frame.payload.assign(payload, payload + header.length);
    m_start += kLinkHeaderSize + header.length;
    return Result::Frame;
}
