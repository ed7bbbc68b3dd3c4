// station-sim: a station server on 127.0.0.1 for the demo and for tests run as
// separate processes (usage below).

#include "DemoStation.h"
#include "ScriptedStation.h"
#include "StationControl.h"
#include "StationSimulator.h"

#include "platform/Event.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

const char kUsage[] =
    "usage: station-sim [--port N] [--demo [--interval MS]] [--control]\n"
    "A simulated Korvel station server on 127.0.0.1. Prints the port it listens on,\n"
    "then serves until SIGINT or SIGTERM.\n"
    "  --port N        listen on N (default: a free port)\n"
    "  --demo          serve the demo station and send it an event now and then\n"
    "  --interval MS   the pace of the demo's events (default 1500)\n"
    "  --control       take commands on standard input (tools/station-sim/StationControl.h)\n"
    "                  and answer each with one line; the end of the input ends the\n"
    "                  program, so it never outlives the process that drives it\n";

int wrong_argument(const std::string& what)
{
    std::fprintf(stderr, "station-sim: %s (--help shows the usage)\n", what.c_str());
    return 2;
}

bool parse_number(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

// Runs the commands that arrive on standard input until it ends or `stop` is
// set; at its end the program is told to stop as by a signal.
void serve_control(stationsim::StationControl& control, platform::WaitHandle stop)
{
    const platform::WaitHandle handles[] = {stop, STDIN_FILENO};
    std::string pending;
    for (;;) {
        if (platform::wait_for_multiple(handles, 2, platform::kInfinite) != platform::kWaitObject0 + 1)
            return;
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(chunk, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            const std::string answer = control.Execute(line);
            std::fprintf(stdout, "%s\n", answer.c_str());
            std::fflush(stdout);
        }
    }
    ::kill(::getpid(), SIGTERM);
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0;
    long interval = 1500;
    bool demo = false;
    bool control = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--demo") {
            demo = true;
        } else if (option == "--control") {
            control = true;
        } else if (option == "--port" || option == "--interval") {
            const bool isPort = option == "--port";
            const long low = isPort ? 0 : 1;
            const long high = isPort ? 65535 : 3600000;
            if (i + 1 >= argc)
                return wrong_argument(option + " needs a value");
            if (!parse_number(argv[++i], low, high, isPort ? port : interval))
                return wrong_argument(option + " takes " + std::to_string(low) + " to " + std::to_string(high) +
                                      ", not '" + argv[i] + "'");
        } else {
            return wrong_argument("unknown argument " + option);
        }
    }

    // Signals are taken by sigwait below, so they are blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    stationsim::StationSimulator simulator;
    stationsim::ScriptedStation station(simulator);
    stationsim::StationControl commands(simulator, station);
    if (demo) {
        std::string error;
        if (!stationsim::DemoStation::Populate(commands, error)) {
            std::fprintf(stderr, "station-sim: the demo station is refused: %s\n", error.c_str());
            return 1;
        }
    }
    if (!simulator.Start(static_cast<uint16_t>(port))) {
        std::fprintf(stderr, "station-sim: cannot listen on port %ld: %s\n", port, std::strerror(errno));
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(simulator.GetPort()));
    std::fflush(stdout);

    std::unique_ptr<stationsim::DemoStation> events;
    if (demo) {
        events = std::make_unique<stationsim::DemoStation>(commands, stdout);
        events->StartEvents(std::chrono::milliseconds(interval));
    }
    const platform::WaitHandle stopControl = platform::create_event(true, false);
    std::thread reader;
    if (control)
        reader = std::thread(serve_control, std::ref(commands), stopControl);

    int received = 0;
    sigwait(&signals, &received);

    platform::set_event(stopControl);
    if (reader.joinable())
        reader.join();
    platform::close_event(stopControl);
    events.reset();
    simulator.Stop();
    return 0;
}
