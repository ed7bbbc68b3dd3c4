#include "utils/ProcessLogger.h"

std::atomic<Logger*> g_logger{nullptr};
