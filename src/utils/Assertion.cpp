#include "utils/Assertion.h"

#include "utils/FatalExit.h"
#include "utils/ProcessLogger.h"

#include "platform/Console.h"

#include <boost/assert.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kReportSize = 65536;

// True when a debugger traces this process. Reads /proc without the heap.
bool debugger_attached()
{
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    buffer[n] = '\0';
    const char* tracer = std::strstr(buffer, "TracerPid:");
    return tracer != nullptr && std::atoi(tracer + std::strlen("TracerPid:")) != 0;
}

} // namespace

void assertion_failed(const char* expression, const char* file, int line)
{
    char report[kReportSize];
    std::snprintf(report, sizeof(report), "ASSERTION FAILED at %s(%i): %s\n", file, line, expression);
    // A report cut at the buffer's end still ends its line.
    report[kReportSize - 2] = '\n';
    report[kReportSize - 1] = '\0';

    // One lock around colour and text, so no other console output falls between.
    ::flockfile(stderr);
    platform::set_console_attribute(platform::kConsoleRed);
    std::fputs(report, stderr);
    platform::set_console_attribute(platform::kConsoleDefault);
    ::funlockfile(stderr);

    // Standard error first: the logger itself may be what is broken.
    const bool use_logger = begin_failure_report();
    if (Logger* logger = g_logger.load(); logger != nullptr && use_logger)
        logger->write(report);
    if (Logger* logger = g_logger.load(); logger != nullptr && use_logger)
        logger->notify_listeners(2, report);

    // Without a debugger the trap would end the process before the crash log.
    if (debugger_attached())
        std::raise(SIGTRAP);
    exit_after_failure(use_logger);
}

namespace boost {

// BOOST_ENABLE_ASSERT_HANDLER routes Boost's own checks here.
void assertion_failed(char const* expr, char const* /*function*/, char const* file, long line)
{
    ::assertion_failed(expr, file, static_cast<int>(line));
}

void assertion_failed_msg(char const* expr, char const* /*msg*/, char const* /*function*/, char const* file,
                          long line)
{
    ::assertion_failed(expr, file, static_cast<int>(line));
}

} // namespace boost
