#pragma once

// Saves a crash log through the process logger when one is set, then ends the
// process at once with exit code 1: no exit handlers, no static destructors.
[[noreturn]] void fatal_exit();

// The failure path's guard: marks the calling thread as reporting a failure and
// tells whether the process logger may be called. It may not when the thread was
// already reporting one (a check failed inside the logger while it reported) or
// holds the global logger mutex (the logger would wait for it forever).
bool begin_failure_report();
// fatal_exit, with the crash log only when the logger may be called.
[[noreturn]] void exit_after_failure(bool use_logger);

// Asks the process logger to save a crash log. A logger must be set.
void save_crash_log();
