#include "vms/LinkProtocol.h"

#include "utils/Base64.h"

#include <boost/endian/conversion.hpp>

#include <algorithm>
#include <cstring>

const char kLinkLoginOk[] = "OK";
const char kLinkErrorUnauthorized[] = "Unauthorized";
const char kLinkErrorWrongFormat[] = "Wrong data format";

void write_link_header(uint8_t* out, uint8_t command, uint32_t length)
{
    boost::endian::store_little_u16(out, LINK_MAGIC);
    boost::endian::store_little_u32(out + 2, length);
    out[6] = command;
}

bool read_link_header(const uint8_t* data, LinkHeader& header)
{
    if (boost::endian::load_little_u16(data) != LINK_MAGIC)
        return false;
    header.length = boost::endian::load_little_u32(data + 2);
    header.command = data[6];
    return true;
}

std::vector<uint8_t> make_link_frame(uint8_t command, const void* payload, uint32_t length)
{
    std::vector<uint8_t> frame(kLinkHeaderSize + length);
    write_link_header(frame.data(), command, length);
    if (length != 0)
        std::memcpy(frame.data() + kLinkHeaderSize, payload, length);
    return frame;
}

std::vector<uint8_t> make_link_frame(uint8_t command, const std::string& payload)
{
    return make_link_frame(command, payload.data(), static_cast<uint32_t>(payload.size()));
}

std::string link_login_text(const std::string& login, const std::string& password)
{
    return base64_encode(login + "@" + password);
}

size_t link_login_payload_limit(const std::string& login, const std::string& password)
{
    return std::max<size_t>(kMaxPayloadBeforeLogin, link_login_text(login, password).size());
}
