#pragma once

// One video-system connection to the bridge, spoken synchronously: connect and
// log in, ask for the full state. After that the socket and the frame reader go
// to whoever reads the updates.

#include "model/ElementRecord.h"
#include "vms/LinkFrameReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace eventpath {

class VideoLink
{
public:
    VideoLink() = default;
    ~VideoLink();
    VideoLink(const VideoLink&) = delete;
    VideoLink& operator=(const VideoLink&) = delete;

    // Connects to the bridge on loopback and logs in; false (with the reason)
    // unless the bridge answers "OK".
    bool Open(uint16_t port, const std::string& login, const std::string& password, std::string& error);
    // Asks for the full state and reads its records.
    bool RequestState(std::vector<ElementRecord>& records, std::string& error);
    void Close();

    int Socket() const { return m_socket; }
    LinkFrameReader& Reader() { return m_reader; }

private:
    bool NextFrame(LinkFrameReader::Frame& frame, std::string& error);

    int m_socket = -1;
    LinkFrameReader m_reader;
};

} // namespace eventpath
