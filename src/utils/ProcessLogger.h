#pragma once

#include "logger/Logger.h"

#include <atomic>

// The process logger; null until one is set. Owned by whoever sets it. Readers
// load it afresh before each use, since another thread may change it.
extern std::atomic<Logger*> g_logger;
