#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The settings of "connection.ini", filled once by read_config before any
// thread starts and only read afterwards.
extern std::string host;
extern int32_t port;
extern std::string login;
extern std::string password;
// The video-system server listens on its low 16 bits.
extern int32_t local_port;
// Highest log level written; 1 until the file has been read. Atomic: the
// control handler may log while the file is read.
extern std::atomic<int32_t> verbosity;

// Puts every setting back to its value before any file is read.
void reset_config();

// Reads "connection.ini" beside the executable whose path is given, creating it
// with defaults when there is none. False when it can be neither read nor made.
bool read_config(const std::string& executable_path);

// Writes the default file at the path and takes its settings. False when it
// cannot be written.
bool create_default_ini(const std::string& path);

// Checks the settings; logs the first fault and returns false.
bool validate_config();
