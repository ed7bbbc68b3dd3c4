#pragma once

// The CPU time each thread of a process has used, from /proc/<pid>/task, to
// tell which thread of the bridge bounds a figure.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace eventpath {

struct ThreadTicks
{
    std::string name;
    long long ticks = 0;  // user + system, in clock ticks
};

// Thread id to name and ticks; empty when the process is gone.
std::map<pid_t, ThreadTicks> read_thread_ticks(pid_t pid);

// The name and the user and system ticks of one /proc stat line; false when
// the line does not have that form.
bool parse_stat_line(const std::string& line, ThreadTicks& ticks);

// Names for the bridge's threads, read while it is idle: the library's threads
// carry their own names; of the program's unnamed ones, the thread waiting in
// epoll is the video-system server's I/O thread and the one waiting in poll
// (msc_WaitEvent) the station worker. Others keep their system name.
std::map<pid_t, std::string> idle_thread_roles(pid_t pid);

struct ThreadShare
{
    pid_t tid = 0;
    std::string name;
    double percent = 0;  // of one core
};

// What each thread used between the two readings, over `seconds`, busiest
// first; threads that used nothing are left out.
std::vector<ThreadShare> thread_shares(const std::map<pid_t, ThreadTicks>& before,
                                       const std::map<pid_t, ThreadTicks>& after, double seconds);

} // namespace eventpath
