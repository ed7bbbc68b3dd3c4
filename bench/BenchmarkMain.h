#pragma once

// The command line of the Google Benchmark programs: Google Benchmark's own
// --benchmark_* flags; "--help" or "-h" prints what the program measures and
// those flags; any other argument is named in one line, with status 2.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

// -1 when the benchmarks are to run, else the status to end with.
inline int benchmark_command_line(int& argc, char** argv, const char* what)
{
    static char help[] = "--help";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s\n\n", what);
            std::fflush(stdout);
            argv[i] = help;
        }
    }
    // Prints the flags and ends the program on --help.
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        std::fprintf(stderr, "%s: unknown argument %s (--help lists the options)\n", argv[0], argv[1]);
        return 2;
    }
    return -1;
}

// main() of a program that runs its benchmarks with the console reporter.
#define KORVEL_BENCHMARK_MAIN(what)                                   \
    int main(int argc, char** argv)                                   \
    {                                                                 \
        const int status = benchmark_command_line(argc, argv, what); \
        if (status >= 0)                                              \
            return status;                                            \
        benchmark::RunSpecifiedBenchmarks();                          \
        benchmark::Shutdown();                                        \
        return 0;                                                     \
    }
