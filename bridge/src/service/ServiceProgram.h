#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The service's name, in the "sc" command lines and the usage banner.
extern const char kServiceName[];
extern const char kLogFileName[];

// Set by the control handler; the service entry polls it.
extern std::atomic<bool> g_stop_request;

// Service-specific exit codes of a service that could not start its work.
constexpr uint32_t kExitSettingsUnreadable = 1;
constexpr uint32_t kExitSettingsRejected = 2;
constexpr uint32_t kExitServerUnavailable = 3;

// Prints the usage lines on standard output.
void usage(const char* program_name);

// Installs (sc create, sc start) or removes (sc stop, sc delete) the service for
// the executable at the full path. A command that cannot be started is logged
// and the second one is skipped.
void install_service(bool install, const std::string& path);

// Runs one command line and waits up to 5000 ms for it; false when it cannot be
// started.
bool run_program(const std::string& command_line);

// The service entry the dispatcher runs.
void service_main(int argc, char** argv);

// Any control code stops the service.
void service_control_handler(uint32_t code);

// Reports the state to the service manager; a non-zero exit code is reported as
// service-specific.
void set_service_status(uint32_t state, uint32_t exit_code = 0);
