#include "ProcessMemory.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace eventpath {

long status_field_kib(const std::string& statusText, const std::string& name)
{
    const std::string key = name + ":";
    size_t at = 0;
    while (at < statusText.size()) {
        const size_t end = statusText.find('\n', at);
        const size_t length = (end == std::string::npos ? statusText.size() : end) - at;
        if (statusText.compare(at, key.size(), key) == 0 && key.size() <= length) {
            const std::string value = statusText.substr(at + key.size(), length - key.size());
            char* stop = nullptr;
            const long kib = std::strtol(value.c_str(), &stop, 10);
            return stop == value.c_str() ? -1 : kib;
        }
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return -1;
}

ProcessMemory read_process_memory(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::stringstream text;
    text << in.rdbuf();
    ProcessMemory memory;
    memory.rssKib = status_field_kib(text.str(), "VmRSS");
    memory.peakKib = status_field_kib(text.str(), "VmHWM");
    memory.known = memory.rssKib >= 0 && memory.peakKib >= 0;
    return memory;
}

} // namespace eventpath
