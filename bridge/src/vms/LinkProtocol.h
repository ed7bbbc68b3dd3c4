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

// Longest payload the bridge takes from a peer. Anything a client sends before
// it has logged in is a short login text, and after it only requests whose
// payload is ignored, so a larger length is a broken or hostile peer.
constexpr uint32_t kMaxPayloadBeforeLogin = 4 * 1024;
constexpr uint32_t kMaxPayloadAfterLogin = 1024 * 1024;

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
