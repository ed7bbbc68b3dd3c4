// station-sim: a station server on 127.0.0.1 for the demo and for tests run as
// separate processes. Prints the port it listens on, then serves until SIGINT
// or SIGTERM.

#include "StationSimulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void print_usage()
{
    std::fprintf(stderr, "usage: station-sim [--port N]\n");
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) {
                print_usage();
                return 2;
            }
        } else {
            print_usage();
            return 2;
        }
    }

    // Signals are taken by sigwait below, so they are blocked before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    stationsim::StationSimulator simulator;
    if (!simulator.Start(static_cast<uint16_t>(port))) {
        std::fprintf(stderr, "station-sim: cannot listen on port %ld: %s\n", port, std::strerror(errno));
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(simulator.GetPort()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    simulator.Stop();
    return 0;
}
