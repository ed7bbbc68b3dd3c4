#pragma once

// The frames spoken with the Orvanta video system, in both directions:
//   0x0D 0x25 | payload length L (uint32, LE) | command (uint8) | L payload bytes
// The length does not count the 7 header bytes; text payloads carry no NUL.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The two start bytes 0x0D 0x25 read as a little-endian uint16.
constexpr uint16_t LINK_MAGIC = 0x250D;
constexpr size_t kLinkHeaderSize = 7;

enum LinkCommand : uint8_t
{
    LINK_LOGIN = 0x01,     // to the bridge: base64 of login + "@" + password
    LINK_LOGIN_OK = 0x02,  // to the client: "OK"
    LINK_GET_STATE = 0x03, // to the bridge: payload ignored
    LINK_STATE = 0x04,     // to the client: records of the whole tree
    LINK_UPDATE = 0x05,    // to the client: one record
    LINK_ERROR = 0xFF,     // to the client: one of the error texts below
};

extern const char kLinkLoginOk[];
extern const char kLinkErrorUnauthorized[];
extern const char kLinkErrorWrongFormat[];

// Longest payload the bridge takes from a peer that has not logged in, unless
// the expected login text is longer: all it may send is that text. Once logged
// in, payloads are passed over as they arrive, never held, so their length is
// bounded by the frame time limit alone.
constexpr uint32_t kMaxPayloadBeforeLogin = 4 * 1024;

struct LinkHeader
{
    uint32_t length = 0;
    uint8_t command = 0;
};

// Writes the 7 header bytes at out.
void write_link_header(uint8_t* out, uint8_t command, uint32_t length);

// Reads the 7 header bytes at data; false when the start bytes are wrong.
bool read_link_header(const uint8_t* data, LinkHeader& header);

// One whole frame.
std::vector<uint8_t> make_link_frame(uint8_t command, const void* payload, uint32_t length);
std::vector<uint8_t> make_link_frame(uint8_t command, const std::string& payload);

// The login payload for a login and password.
std::string link_login_text(const std::string& login, const std::string& password);
// Longest payload taken before the login: that login's text, and never less
// than kMaxPayloadBeforeLogin.
size_t link_login_payload_limit(const std::string& login, const std::string& password);
