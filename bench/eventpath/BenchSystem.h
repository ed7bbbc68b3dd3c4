#pragma once

// The whole system of a loopback run: the station simulator serving the bench
// world, and the real bridge started against it in a run folder of its own.

#include "BenchWorld.h"
#include "BridgeRun.h"

#include "ScriptedStation.h"
#include "StationSimulator.h"

#include <functional>
#include <limits>
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

// A whole number of at least `low` (0 or more), written in decimal and nothing else.
bool whole_number(const std::string& text, long long low, long long& value);

// Such a number into `target` when it fits there; false, leaving it, otherwise.
template <typename Number>
bool take_number(const std::string& text, long long low, Number& target)
{
    long long value = 0;
    if (!whole_number(text, low, value) ||
        static_cast<unsigned long long>(value) > static_cast<unsigned long long>(std::numeric_limits<Number>::max()))
        return false;
    target = static_cast<Number>(value);
    return true;
}

// Takes an option with its value as take_system_option does.
using OptionTaker = std::function<bool(const std::string& name, const std::string& value, bool& bad)>;

// What a command line asks for.
enum class CommandLine
{
    Run,
    Usage,
    Wrong,
};

// Walks the command line: "--help" or "-h" asks for the usage; a name that
// `flag` takes stands alone; any other takes the next argument as its value,
// through take_system_option first and then `option`, which answers as
// take_system_option does. Wrong at the first argument that none takes, with
// `error` naming it.
CommandLine parse_arguments(int argc, char** argv, SystemSettings& system, WorldShape& shape,
                            const std::function<bool(const std::string& name)>& flag, const OptionTaker& option,
                            std::string& error);

// The end of a program's command-line step: the usage on standard output and
// 0, or the error in one line on standard error and 2; -1 when it is to run.
int command_line_status(CommandLine parsed, const char* program, const std::string& usage, const std::string& error);

// Runs `run` with a new temporary folder named after `prefix`, which is removed
// afterwards unless `keep` is set or the result is not 0; then its path is
// printed. Standard output goes out line by line.
int run_in_temporary_folder(const std::string& prefix, bool keep, const std::function<int(const std::string&)>& run);

} // namespace eventpath
