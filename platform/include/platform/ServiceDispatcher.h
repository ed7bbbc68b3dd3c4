#pragma once

#include <cstdint>

namespace platform {

// Service types, states, controls and codes as the service manager knows them.
constexpr uint32_t kServiceWin32OwnProcess = 0x10;
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kServiceAcceptStop = 1;
constexpr uint32_t kServiceControlStop = 1;
// Win32 exit code telling that the service-specific exit code holds the reason.
constexpr uint32_t kErrorServiceSpecificError = 1066;

struct ServiceStatus {
    uint32_t serviceType = 0;
    uint32_t currentState = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

using ServiceMain = void (*)(int argc, char** argv);
using ServiceControlHandler = void (*)(uint32_t control);
// 0 is no handle.
using ServiceStatusHandle = uintptr_t;

struct ServiceTableEntry {
    const char* name;
    ServiceMain main;
};

// True when the service manager started this process: systemd sets
// INVOCATION_ID for every service it starts.
bool started_by_service_manager();

// Blocks SIGTERM, SIGINT, SIGHUP and SIGQUIT in the calling thread and the
// threads it starts later. Called at the top of a process the service manager
// started, a stop that comes before the dispatcher runs (while the program
// starts up) waits for it and is handed to the service once it registered its
// handler, instead of ending the process.
void block_stop_signals();

// Runs the service of the table's first entry (a process holds one service)
// when the service manager started the process. The calling thread becomes the
// dispatcher: it blocks SIGTERM, SIGINT, SIGHUP and SIGQUIT before the service's
// thread starts (call it before the program starts threads of its own, so every
// thread keeps them blocked), takes them itself, never in a signal handler, and
// hands each to the service's control handler as kServiceControlStop. It
// returns true once the service has reported kServiceStopped and its entry has
// returned; exitCode is then the code it reported (the service-specific one
// when win32ExitCode is kErrorServiceSpecificError). An entry that returns
// before its service reported stopped leaves the dispatcher serving its
// handler. From anywhere else it returns false with exitCode
// kErrorFailedServiceControllerConnect (SystemError.h), as from a console.
bool start_service_ctrl_dispatcher(const ServiceTableEntry* table, uint32_t& exitCode);

// Registers the running service's control handler, which the dispatcher thread
// calls. A stop that came before is handed on at once. 0 when no service runs.
ServiceStatusHandle register_service_ctrl_handler(const char* name, ServiceControlHandler handler);

// Records the service's status; kServiceStopped lets the dispatcher return.
// False for an unknown handle.
bool set_service_status(ServiceStatusHandle handle, const ServiceStatus& status);

} // namespace platform
