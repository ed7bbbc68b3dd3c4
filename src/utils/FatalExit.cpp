#include "utils/FatalExit.h"

#include "utils/Assertion.h"
#include "utils/ProcessLogger.h"

#include <unistd.h>

namespace {

thread_local bool t_reporting_failure = false;

} // namespace

bool begin_failure_report()
{
    const bool reentered = t_reporting_failure;
    t_reporting_failure = true;
    return !reentered && !GlobalLoggerLock::held_by_this_thread();
}

void exit_after_failure(bool use_logger)
{
    if (Logger* logger = g_logger.load(); logger != nullptr && use_logger)
        logger->save_crash_log();
    ::_exit(1);
}

void fatal_exit()
{
    exit_after_failure(begin_failure_report());
}

void save_crash_log()
{
    Logger* logger = g_logger.load();
    KORVEL_ASSERT(logger != nullptr);
    logger->save_crash_log();
}
