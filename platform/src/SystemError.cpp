#include "platform/SystemError.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {

std::string system_error_text(uint32_t code)
{
    switch (code) {
    case kErrorAlreadyExists:
        return system_error_text(EEXIST);
    case kErrorFailedServiceControllerConnect:
        return "The service process could not connect to the service controller.";
    default:
        break;
    }
    if (code > static_cast<uint32_t>(INT_MAX))
        return std::string();
    // The untranslated description: the text ends up in Windows-1251 documents, and
    // a localised one could come in any encoding.
    const char* text = ::strerrordesc_np(static_cast<int>(code));
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace platform
