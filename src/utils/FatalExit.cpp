#include "utils/FatalExit.h"

#include "utils/Assertion.h"
#include "utils/ProcessLogger.h"

#include <unistd.h>

void fatal_exit()
{
    if (Logger* logger = g_logger.load())
        logger->save_crash_log();
    ::_exit(1);
}

void save_crash_log()
{
    Logger* logger = g_logger.load();
    KORVEL_ASSERT(logger != nullptr);
    logger->save_crash_log();
}
