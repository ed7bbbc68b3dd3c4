#pragma once

#include <string>

// Standard base64 (RFC 4648): '=' fill, no line breaks. Any bytes, NUL included.
std::string base64_encode(const std::string& bytes);

// The decoded bytes, or an empty string when the text is malformed (the reason
// goes to standard error).
std::string base64_decode(const std::string& text);

// Number of bytes the text decodes to, not counting white space or other
// characters outside the alphabet at its end. For a malformed text (reported on
// standard error) an upper bound, never below zero.
unsigned base64_decode_size(const std::string& text);

// Decodes the text into out, which holds capacity bytes. White space between
// groups and after the last one is passed over; a '=' in the third or fourth
// place ends the decoding. False on a malformed text (reported on standard
// error) or when out is too small. decoded, when given, receives the number of
// bytes written.
bool base64_decode_block(const std::string& text, char* out, unsigned capacity, unsigned* decoded = nullptr);
