#include "VmsClient.h"

#include "vms/LinkFrameReader.h"
#include "vms/LinkProtocol.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <cstdio>

using boost::asio::ip::tcp;

namespace {

const char* kind_of(uint8_t level)
{
    switch (level) {
    case LEVEL_GROUP:
        return "group";
    case LEVEL_OBJECT:
        return "object";
    case LEVEL_SENSOR:
        return "sensor";
    default:
        return "element";
    }
}

bool send_frame(tcp::socket& socket, uint8_t command, const std::string& payload, boost::system::error_code& error)
{
    const std::vector<uint8_t> frame = make_link_frame(command, payload);
    boost::asio::write(socket, boost::asio::buffer(frame), error);
    return !error;
}

} // namespace

std::string describe_element_record(const ElementRecord& record)
{
    char fields[256];
    std::snprintf(fields, sizeof(fields), "%-6s id=%d group=%d object=%d type=%d number=%d state=0x%X level=%d",
                  kind_of(record.level), record.ID, record.Group, record.ObjectID, record.Type, record.Number,
                  static_cast<unsigned>(record.State), record.StateLevel);
    return std::string(fields) + " \"" + record.Name + "\"";
}

int VmsClient::Run(const std::string& host, const std::string& port, const std::string& login,
                   const std::string& password)
{
    boost::asio::io_context io_service;
    tcp::socket socket(io_service);
    boost::system::error_code error;
    tcp::resolver resolver(io_service);
    const auto endpoints = resolver.resolve(host, port, error);
    if (!error)
        boost::asio::connect(socket, endpoints, error);
    if (error) {
        m_out << "cannot connect to " << host << ":" << port << ": " << error.message() << std::endl;
        return kVmsClientFailed;
    }
    m_out << "connected to " << host << ":" << port << std::endl;
    if (!send_frame(socket, LINK_LOGIN, link_login_text(login, password), error)) {
        m_out << "cannot send the login: " << error.message() << std::endl;
        return kVmsClientFailed;
    }

    int result = kVmsClientDone;
    LinkFrameReader reader;
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;) {
        LinkFrameReader::Frame frame;
        const LinkFrameReader::Result next = reader.Next(frame);
        if (next == LinkFrameReader::Result::BadStart) {
            m_out << "stream out of step: wrong start bytes" << std::endl;
            return kVmsClientFailed;
        }
        if (next == LinkFrameReader::Result::NeedMore) {
            const size_t n = socket.read_some(boost::asio::buffer(chunk), error);
            if (error) {
                if (error != boost::asio::error::eof)
                    m_out << "connection lost: " << error.message() << std::endl;
                else
                    m_out << "closed by the bridge" << std::endl;
                if (reader.Buffered() != 0)
                    m_out << "the last frame came cut short (" << reader.Buffered() << " bytes)" << std::endl;
                return error == boost::asio::error::eof ? result : kVmsClientFailed;
            }
            reader.Feed(chunk.data(), n);
            continue;
        }

        switch (frame.command) {
        case LINK_LOGIN_OK:
            m_out << "login OK" << std::endl;
            if (!send_frame(socket, LINK_GET_STATE, std::string(), error)) {
                m_out << "cannot ask for the state: " << error.message() << std::endl;
                return kVmsClientFailed;
            }
            break;
        case LINK_STATE:
            PrintState(frame.payload);
            break;
        case LINK_UPDATE:
            PrintUpdate(frame.payload);
            break;
        case LINK_ERROR:
            m_out << "error from the bridge: " << std::string(frame.payload.begin(), frame.payload.end())
                  << std::endl;
            result = kVmsClientFailed;
            break;
        default: {
            char line[64];
            std::snprintf(line, sizeof(line), "unknown frame 0x%02x (%zu bytes)", frame.command,
                          frame.payload.size());
            m_out << line << std::endl;
        }
        }
    }
}

void VmsClient::PrintState(const std::vector<uint8_t>& payload)
{
    std::vector<ElementRecord> records;
    size_t offset = 0;
    ElementRecord record;
    while (read_element_record(payload.data(), payload.size(), offset, record))
        records.push_back(record);
    m_out << "state: " << records.size() << " elements\n";
    // Indented by depth, so the tree shows.
    for (const ElementRecord& r : records) {
        const size_t depth = r.level >= LEVEL_GROUP && r.level <= LEVEL_SENSOR ? r.level - LEVEL_GROUP : 0;
        m_out << std::string(2 * depth, ' ') << describe_element_record(r) << "\n";
    }
    if (offset != payload.size())
        m_out << "state ends inside a record (" << payload.size() - offset << " bytes left)\n";
    m_out << std::flush;
}

void VmsClient::PrintUpdate(const std::vector<uint8_t>& payload)
{
    ElementRecord record;
    size_t offset = 0;
    if (!read_element_record(payload.data(), payload.size(), offset, record) || offset != payload.size()) {
        m_out << "update of " << payload.size() << " bytes is not one record" << std::endl;
        return;
    }
    m_out << "update: " << describe_element_record(record) << std::endl;
}
