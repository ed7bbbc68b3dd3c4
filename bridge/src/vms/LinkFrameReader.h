#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Cuts the byte stream received from the bridge into whole link frames, for the
// client side of the link. Only bytes actually received are held, whatever
// length a header announces.
class LinkFrameReader
{
public:
    struct Frame
    {
        uint8_t command = 0;
        std::vector<uint8_t> payload;
    };

    enum class Result
    {
        Frame,    // a whole frame was taken
        NeedMore, // the buffered bytes end inside a frame
        BadStart, // the next frame does not begin with the start bytes
    };

    void Feed(const void* data, size_t size);

    // Takes the next whole frame out of the buffered bytes.
    Result Next(Frame& frame);

    size_t Buffered() const { return m_buffer.size() - m_start; }

private:
    std::vector<uint8_t> m_buffer;
    // Bytes before this offset are consumed; they are dropped on the next Feed.
    size_t m_start = 0;
};
