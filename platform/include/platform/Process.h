#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Splits a command line as Windows programs split theirs. The program name ends
// at the first blank or tab outside quotes, and its quotes are only removed.
// In the arguments, 2n backslashes before a quote give n backslashes and the
// quote opens or closes a quoted part, 2n+1 give n backslashes and a literal
// quote, "" inside a quoted part gives a literal quote, and other backslashes
// stand as they are.
std::vector<std::string> split_command_line(const std::string& commandLine);

// Where a program is run from: a name holding a '/' as it stands, otherwise the
// first executable file of that name in the executable's folder, then in the
// folders of PATH. Empty when there is none.
std::string find_program(const std::string& name);

// A child process started from a command line. Nothing kills it: a process
// still running when its Process is destroyed goes on by itself.
class Process
{
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program of the command line (found by find_program) with the
    // caller's environment and folder, default signal handling and no inherited
    // descriptors beyond standard input, output and error. False when it cannot
    // be started or one is already held; GetError() then tells why
    // (2: no such program).
    bool Start(const std::string& commandLine);

    // Waits up to timeoutMs (kInfinite of Event.h: without end) for the process
    // to end. True once it has ended.
    bool Wait(uint32_t timeoutMs);

    // The system error code of a failed Start.
    uint32_t GetError() const { return m_error; }
    // After a successful Wait: the exit code, or 128 + the signal that ended it.
    int GetExitCode() const { return m_exitCode; }
    pid_t GetPid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_exitCode = 0;
    uint32_t m_error = 0;
};

} // namespace platform
