#include "BenchSystem.h"

#include "VideoLink.h"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace eventpath {
namespace {

constexpr auto kTreeLoadTimeout = std::chrono::seconds(60);

} // namespace

BenchSystem::BenchSystem(const WorldShape& shape, std::string folder)
    : world(shape), station(simulator), bridge(std::move(folder))
{
}

bool BenchSystem::Start(const SystemSettings& settings, std::string& error)
{
    world.Populate(station, settings.login, settings.password);
    if (!simulator.Start()) {
        error = "the station simulator did not start";
        return false;
    }
    BridgeOptions options;
    options.runRecipe = settings.recipe;
    options.executable = settings.bridge;
    options.library = settings.library;
    options.stationPort = simulator.GetPort();
    options.login = settings.login;
    options.password = settings.password;
    options.verbosity = settings.verbosity;
    options.dictionary = BenchWorld::Dictionary();
    if (!bridge.Start(options, error))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + kTreeLoadTimeout;
    for (;;) {
        VideoLink probe;
        std::vector<ElementRecord> records;
        if (probe.Open(bridge.LocalPort(), settings.login, settings.password, error) &&
            probe.RequestState(records, error)) {
            error = world.CheckState(records, 0);
            if (error.empty())
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "the bridge did not load the tree: " + error;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string BenchSystem::LogEnd(size_t bytes) const
{
    const std::string log = bridge.Log();
    return log.substr(log.size() > bytes ? log.size() - bytes : 0);
}

const char kSystemOptionsUsage[] =
    "  --sensors G,O,S      groups, objects per group, sensors per object (10,10,10)\n"
    "  --verbosity N        the bridge's verbosity (1)\n"
    "  --bridge PATH        the korvel-orvanta-client to run (this build's)\n"
    "  --library PATH       the libArdentis.so placed beside it (this build's)\n"
    "  --recipe PATH        what runs it (tools/run-bridge)\n";

bool take_system_option(const std::string& name, const std::string& value, SystemSettings& system,
                        WorldShape& shape, bool& bad)
{
    bad = false;
    if (name == "--sensors") {
        int groups = 0;
        int objects = 0;
        int sensors = 0;
        char end = 0;
        bad = std::sscanf(value.c_str(), "%d,%d,%d%c", &groups, &objects, &sensors, &end) != 3 || groups < 1 ||
              objects < 1 || sensors < 1 || sensors > 32767;
        if (!bad)
            shape = WorldShape{groups, objects, sensors};
    } else if (name == "--verbosity") {
        long long level = 0;
        bad = !whole_number(value, 0, level);
        system.verbosity = static_cast<int>(level);
    } else if (name == "--bridge") {
        system.bridge = value;
    } else if (name == "--library") {
        system.library = value;
    } else if (name == "--recipe") {
        system.recipe = value;
    } else {
        return false;
    }
    return true;
}

bool whole_number(const std::string& text, long long low, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && end != text.c_str() && *end == '\0' && errno == 0 && value >= low;
}

CommandLine parse_arguments(int argc, char** argv, SystemSettings& system, WorldShape& shape,
                            const std::function<bool(const std::string& name)>& flag, const OptionTaker& option,
                            std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h")
            return CommandLine::Usage;
        if (flag(name))
            continue;
        if (name.compare(0, 2, "--") != 0) {
            error = "unknown argument " + name;
            return CommandLine::Wrong;
        }
        // An unknown option is named as such, with or without a value after it.
        const bool has_value = i + 1 < argc;
        const std::string value = has_value ? argv[++i] : std::string();
        bool bad = false;
        if (!take_system_option(name, value, system, shape, bad) && !option(name, value, bad)) {
            error = "unknown option " + name;
            return CommandLine::Wrong;
        }
        if (!has_value) {
            error = name + " needs a value";
            return CommandLine::Wrong;
        }
        if (bad) {
            error = name + " does not take '" + value + "'";
            return CommandLine::Wrong;
        }
    }
    return CommandLine::Run;
}

int command_line_status(CommandLine parsed, const char* program, const std::string& usage, const std::string& error)
{
    switch (parsed) {
    case CommandLine::Usage:
        std::fputs(usage.c_str(), stdout);
        return 0;
    case CommandLine::Wrong:
        std::fprintf(stderr, "%s: %s (--help lists the options)\n", program, error.c_str());
        return 2;
    case CommandLine::Run:
        break;
    }
    return -1;
}

int run_in_temporary_folder(const std::string& prefix, bool keep, const std::function<int(const std::string&)>& run)
{
    // Each figure shows as soon as it is known, also through a pipe; a reader
    // that goes away early must not end this process before it stops the bridge.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(&pattern[0]) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const int code = run(pattern);
    if (keep || code != 0)
        std::printf("run folder: %s\n", pattern.c_str());
    else
        std::filesystem::remove_all(pattern);
    return code;
}

} // namespace eventpath
