#include "service/ServiceProgram.h"

#include "model/EventDictionary.h"
#include "station/StationWorker.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "vms/VmsServer.h"

#include "platform/ModulePath.h"
#include "platform/Process.h"
#include "platform/ServiceDispatcher.h"
#include "utils/StringPrintf.h"

#include <chrono>
#include <cstdio>
#include <thread>

const char kServiceName[] = "Korvel Orvanta Client";
const char kLogFileName[] = "korvel-orvanta-client.log";

std::atomic<bool> g_stop_request{false};

namespace {

constexpr uint32_t kCommandWaitMs = 5000;
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);

platform::ServiceStatusHandle g_status_handle = 0;

// Starts the command line and waits for it; false with the error when it
// cannot be started. Its exit code is not looked at.
bool start_and_wait(const std::string& command_line, uint32_t& error)
{
    platform::Process process;
    if (!process.Start(command_line)) {
        error = process.GetError();
        return false;
    }
    process.Wait(kCommandWaitMs);
    return true;
}

// The last word of a run: the counts of repeated lines still open are written
// before the service is reported stopped, after which the process ends.
void report_stopped(uint32_t exit_code)
{
    log_repeat_counts(true);
    set_service_status(platform::kServiceStopped, exit_code);
}

} // namespace

void usage(const char* program_name)
{
    std::printf("Korvel Orvanta Client communication utility\n");
    std::printf("usage:\n");
    std::printf("%s [stop]\n", program_name);
    std::printf("  stop - option to stop and delete service.\n");
}

void install_service(bool install, const std::string& path)
{
    // The full path, quoted: a path with blanks must not be split into a
    // different program and its arguments.
    const std::string commands[2] = {
        install ? string_printf("sc create \"%s\" binPath= \"%s\"", kServiceName, path.c_str())
                : string_printf("sc stop \"%s\"", kServiceName),
        install ? string_printf("sc start \"%s\"", kServiceName) : string_printf("sc delete \"%s\"", kServiceName),
    };
    for (const std::string& command : commands) {
        log_message(kLogInfo, "run %s\n", command.c_str());
        uint32_t error = 0;
        if (!start_and_wait(command, error)) {
            log_message(kLogError, "unable to %s service %s (err 0x%04x)\n", install ? "start" : "stop", kServiceName,
                        error);
            return;
        }
    }
}

bool run_program(const std::string& command_line)
{
    uint32_t error = 0;
    return start_and_wait(command_line, error);
}

void service_control_handler(uint32_t code)
{
    log_message(kLogInfo, "service_status: %d\n", static_cast<int>(code));
    g_stop_request = true;
}

void set_service_status(uint32_t state, uint32_t exit_code)
{
    platform::ServiceStatus status;
    status.serviceType = platform::kServiceWin32OwnProcess;
    status.currentState = state;
    status.controlsAccepted = platform::kServiceAcceptStop;
    status.win32ExitCode = exit_code != 0 ? platform::kErrorServiceSpecificError : 0;
    status.serviceSpecificExitCode = exit_code;
    platform::set_service_status(g_status_handle, status);
}

void service_main(int /*argc*/, char** /*argv*/)
{
    // Cleared before the handler is registered, so a stop that came before is kept.
    g_stop_request = false;
    g_status_handle = platform::register_service_ctrl_handler(kServiceName, service_control_handler);
    set_service_status(platform::kServiceRunning);

    const std::string executable_path = platform::executable_path();
    // Reported stopped with a failure code, so the process ends and the service
    // manager sees the failed start instead of a service running with nothing
    // running.
    if (!read_config(executable_path)) {
        log_message(kLogError, "can't read and write %s\n", "connection.ini");
        report_stopped(kExitSettingsUnreadable);
        return;
    }
    if (!validate_config()) {
        log_message(kLogError, "please fix ini file\n");
        report_stopped(kExitSettingsRejected);
        return;
    }

    // Without texts events still flow; they are only logged as unknown.
    std::string dictionary_fault;
    if (!load_events_dictionary(executable_path, &dictionary_fault))
        log_message(kLogError, "unable to load events dictionary %s (%s)\n", "dictionary_events_system.xml",
                    dictionary_fault.c_str());
    std::thread worker(station_worker);
    // Without its port the bridge is of no use to the video system: it stops
    // as on a control code and reports the failure.
    const bool serving = start_vms_server();

    // The poll also writes the counts of repeated lines whose time has come,
    // so the last of a row of repeats is not left waiting for a next line.
    while (serving && !g_stop_request) {
        std::this_thread::sleep_for(kStopPollInterval);
        log_repeat_counts();
    }

    if (serving)
        stop_vms_server();
    stop_station_worker(worker);
    report_stopped(serving ? 0 : kExitServerUnavailable);
}
