#include "ProcessMemory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace eventpath {

long status_field(const std::string& statusText, const std::string& name)
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

namespace {

std::string status_text(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ProcessMemory read_process_memory(pid_t pid)
{
    const std::string text = status_text(pid);
    ProcessMemory memory;
    memory.rssKib = status_field(text, "VmRSS");
    memory.peakKib = status_field(text, "VmHWM");
    memory.known = memory.rssKib >= 0 && memory.peakKib >= 0;
    return memory;
}

ProcessFootprint read_process_footprint(pid_t pid)
{
    const std::string text = status_text(pid);
    ProcessFootprint footprint;
    footprint.rssKib = status_field(text, "VmRSS");
    footprint.threads = status_field(text, "Threads");
    std::error_code error;
    std::filesystem::directory_iterator entry("/proc/" + std::to_string(pid) + "/fd", error);
    if (error)
        return footprint;
    for (; entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        if (error)
            return footprint;
        ++footprint.descriptors;
    }
    footprint.known = footprint.rssKib >= 0 && footprint.threads > 0;
    return footprint;
}

} // namespace eventpath
