#pragma once

#include <sys/types.h>

#include <string>

namespace eventpath {

// A process's resident memory as /proc/<pid>/status tells it, in KiB.
struct ProcessMemory
{
    bool known = false;
    long rssKib = 0;   // VmRSS: now
    long peakKib = 0;  // VmHWM: the most it has held
};

// The value of one "Name:   value kB" line of a status text; -1 when missing.
long status_field_kib(const std::string& statusText, const std::string& name);

ProcessMemory read_process_memory(pid_t pid);

} // namespace eventpath
