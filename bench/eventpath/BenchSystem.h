#pragma once

// The whole system of a loopback run: the station simulator serving the bench
// world, and the real bridge started against it in a run folder of its own.

#include "BenchWorld.h"
#include "BridgeRun.h"

#include "ScriptedStation.h"
#include "StationSimulator.h"

#include <functional>
#include <string>

namespace eventpath {

struct SystemSettings
{
    std::string login;
    std::string password;
    int verbosity = 1;
    std::string recipe;   // tools/run-bridge
    std::string bridge;   // korvel-orvanta-client
    std::string library;  // libArdentis.so
};

class BenchSystem
{
public:
    // folder: an empty folder for the bridge's settings and run folder.
    BenchSystem(const WorldShape& shape, std::string folder);

    // Starts the station and the bridge; true once a client gets the whole
    // tree with every sensor at rest.
    bool Start(const SystemSettings& settings, std::string& error);

    // The last `bytes` of the bridge's log.
    std::string LogEnd(size_t bytes) const;

    BenchWorld world;
    stationsim::StationSimulator simulator;
    stationsim::ScriptedStation station;
    BridgeRun bridge;
};

// The options every loopback program takes: --sensors G,O,S, --verbosity N,
// --bridge, --library and --recipe PATH. False when `name` is none of them;
// `bad` is set when its value does not do.
bool take_system_option(const std::string& name, const std::string& value, SystemSettings& system,
                        WorldShape& shape, bool& bad);
extern const char kSystemOptionsUsage[];

// Walks the command line: a name that `flag` takes stands alone; any other
// takes the next argument as its value, through take_system_option first and
// then `option`. False at the first argument that neither takes.
bool parse_arguments(int argc, char** argv, SystemSettings& system, WorldShape& shape,
                     const std::function<bool(const std::string& name)>& flag,
                     const std::function<bool(const std::string& name, const std::string& value)>& option);

// Runs `run` with a new temporary folder named after `prefix`, which is removed
// afterwards unless `keep` is set or the result is not 0; then its path is
// printed. Standard output goes out line by line.
int run_in_temporary_folder(const std::string& prefix, bool keep, const std::function<int(const std::string&)>& run);

} // namespace eventpath
