#pragma once

// Naming threads for a debugger and setting the calling thread's priority from
// the library's priority levels.

#include <sys/types.h>

#include <map>
#include <string>

// The thread id that stands for the calling thread.
constexpr pid_t kCallingThread = -1;

// Names the thread; any id but kCallingThread is a kernel thread id (gettid) of
// this process. The name is cut to what the system keeps; failures are silent.
void set_thread_name(pid_t thread_id, const std::string& name);
// Names the calling thread, then hands the name to the process logger's
// thread_hook, or warns when there is none.
void set_current_thread_name(const std::string& name);

// Level -> system thread priority: 0 normal (0), 1 idle (-15).
std::map<int, int> windows_thread_priorities();
// Sets the calling thread's priority and logs the outcome; an unknown level
// fails an assertion.
void set_thread_priority(int level);
