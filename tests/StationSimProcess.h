#pragma once

// The station-sim program run as a child: its port, and its control commands
// written to its standard input. Its output (the port, the answers, the demo's
// event lines) goes to a file, read back line by line. The input pipe closes
// with this object, which makes the program end by itself even when the test
// does not get to stop it.

#include <sys/types.h>

#include <string>
#include <vector>

class StationSimProcess
{
public:
    // outputPath: where the program's output goes.
    explicit StationSimProcess(std::string outputPath);
    ~StationSimProcess();
    StationSimProcess(const StationSimProcess&) = delete;
    StationSimProcess& operator=(const StationSimProcess&) = delete;

    // Starts `station-sim --control` with the extra options and waits for its
    // port. False when it does not start or print one.
    bool Start(const std::vector<std::string>& options = {});
    uint16_t Port() const { return m_port; }

    // Sends one command and returns its answer ("" when none comes in time).
    std::string Command(const std::string& line);
    // Sends each command; true when every one was answered "ok".
    bool Commands(const std::vector<std::string>& lines);

    // Ends the program (end of input, then SIGKILL after a grace period).
    void Stop();

    std::vector<std::string> OutputLines() const;

private:
    std::string m_outputPath;
    pid_t m_pid = -1;
    int m_input = -1;
    uint16_t m_port = 0;
    size_t m_linesRead = 0;
};
