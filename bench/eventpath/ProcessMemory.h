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

// What a process holds now: resident memory, threads and open descriptors.
struct ProcessFootprint
{
    bool known = false;
    long rssKib = 0;
    long threads = 0;
    long descriptors = 0;
};

// The leading number of one "Name:   value [kB]" line of a status text; -1
// when missing.
long status_field(const std::string& statusText, const std::string& name);

ProcessMemory read_process_memory(pid_t pid);

// From /proc/<pid>/status and the entries of /proc/<pid>/fd.
ProcessFootprint read_process_footprint(pid_t pid);

} // namespace eventpath
