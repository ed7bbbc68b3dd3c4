#pragma once

// The system's message text for an error code. The port's system error codes are
// errno values; the few Windows codes the system reports itself lie above errno's
// range and have their own entries below (Windows 2, "file not found", is ENOENT
// already).

#include <cstdint>
#include <string>

namespace platform {

constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFailedServiceControllerConnect = 1063;

// Untranslated English text, so it fits any code page; empty when the system has
// no message for the code.
std::string system_error_text(uint32_t code);

} // namespace platform
