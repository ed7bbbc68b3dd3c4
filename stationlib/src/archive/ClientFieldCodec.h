#pragma once

#include <string>

// Decodes the station's "CCAcc" form: four hex digits per byte, the byte's bits
// on the even bit positions of two digit pairs, masked with a fixed key.
// Gives at most count bytes, ending at the first zero byte; "" when the text is
// not exactly 4 * count characters long.
std::string scramble_client_field(const std::string& encoded, int count);
