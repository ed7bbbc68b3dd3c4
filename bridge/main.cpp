#include "service/ServiceProgram.h"
#include "station/StationWorker.h"
#include "support/BridgeLog.h"
#include "support/DescriptorLimit.h"
#include "support/FilePath.h"

#include "platform/ModulePath.h"
#include "platform/ServiceDispatcher.h"

#include <strings.h>

#include <cerrno>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    // A stop while the "sc" commands run waits for the dispatcher, which hands
    // it to the service as its stop; from a console, Ctrl-C ends the run at once.
    if (platform::started_by_service_manager())
        platform::block_stop_signals();
    // The console's output code page is UTF-8 already on this platform.
    g_worker_stop = false;
    const std::string executable_path = platform::executable_path();
    // A service run begins a new log and keeps the last one; a console command
    // ("stop", an install) writes after the lines of a service still running.
    set_log_path(path_replace_file_name(executable_path, kLogFileName),
                 platform::started_by_service_manager() ? LogStart::NewFile : LogStart::Append);
    // The default soft limit (1,024) would let idle peers take every
    // descriptor the video-system server and the station link need.
    if (!raise_descriptor_limit())
        log_message(kLogError, "unable to raise the descriptor limit (err %d)\n", errno);

    bool install = true;
    if (argc > 1) {
        if (std::strstr(argv[1], "-h") != nullptr) {
            usage(argv[0]);
            return 0;
        }
        install = strcasecmp(argv[1], "stop") != 0;
    }
    // Also when the service manager starts the program.
    install_service(install, executable_path);

    const platform::ServiceTableEntry table[] = {{kServiceName, service_main}, {nullptr, nullptr}};
    uint32_t exit_code = 0;
    platform::start_service_ctrl_dispatcher(table, exit_code);
    return static_cast<int>(exit_code);
}
