#pragma once

// korvel-orvanta-client started by the run recipe (tools/run-bridge) in a run
// folder of its own, with libArdentis.so beside it, a "connection.ini" written
// for the benchmark and the benchmark's event dictionary.

#include "ProcessMemory.h"

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace eventpath {

struct BridgeOptions
{
    std::string runRecipe;   // tools/run-bridge
    std::string executable;  // korvel-orvanta-client
    std::string library;     // libArdentis.so
    uint16_t stationPort = 0;
    std::string login;
    std::string password;
    int verbosity = 1;
    std::string dictionary;  // the text of "dictionary_events_system.xml"
};

class BridgeRun
{
public:
    // folder: an empty folder that receives the settings and the run folder.
    explicit BridgeRun(std::string folder);
    ~BridgeRun();
    BridgeRun(const BridgeRun&) = delete;
    BridgeRun& operator=(const BridgeRun&) = delete;

    // Starts the bridge; true once its video-system port takes connections.
    bool Start(const BridgeOptions& options, std::string& error);
    uint16_t LocalPort() const { return m_localPort; }
    pid_t Pid() const { return m_pid; }
    ProcessMemory Memory() const { return read_process_memory(m_pid); }
    ProcessFootprint Footprint() const { return read_process_footprint(m_pid); }
    // False once it has ended (it is then reaped).
    bool Running();

    // SIGTERM, then the exit code; -1 when it had to be killed after timeoutMs.
    int Stop(int timeoutMs);

    std::string Log() const;
    std::string Output() const;

private:
    std::string m_folder;
    pid_t m_pid = -1;
    uint16_t m_localPort = 0;
};

} // namespace eventpath
