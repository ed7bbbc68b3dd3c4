#pragma once

#include <string>

// Converts text in the named code page (as Qt names it, e.g. "Windows-1251") to
// UTF-8. Throws std::runtime_error when no codec has that name.
std::string to_utf8(const char* code_page, const std::string& text);
