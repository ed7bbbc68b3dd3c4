#pragma once

// Saves a crash log through the process logger when one is set, then ends the
// process at once with exit code 1: no exit handlers, no static destructors.
[[noreturn]] void fatal_exit();

// Asks the process logger to save a crash log. A logger must be set.
void save_crash_log();
