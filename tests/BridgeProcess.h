#pragma once

// korvel-orvanta-client run by the recipe of tools/run-bridge: a run folder of
// its own with copies of the executable and libArdentis.so, a "connection.ini"
// written for the test, and the event dictionary when one is given.

#include <sys/types.h>

#include <cstdint>
#include <string>

struct BridgeSettings
{
    uint16_t stationPort = 0;
    std::string login;
    std::string password;
    int verbosity = 1;
    // The text of "dictionary_events_system.xml"; none when empty.
    std::string dictionary;
    // Soft and hard limit of open descriptors the bridge runs with; 0: this
    // process's own.
    int descriptorLimit = 0;
};

class BridgeProcess
{
public:
    // folder: an empty folder of the test, which receives the run folder.
    explicit BridgeProcess(std::string folder);
    ~BridgeProcess();
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;

    // Picks a free port for the video system and starts the bridge; true once
    // that port takes connections.
    bool Start(const BridgeSettings& settings);
    uint16_t LocalPort() const { return m_localPort; }
    pid_t Pid() const { return m_pid; }

    // Sends the signal and waits up to timeoutMs for the exit; the exit code,
    // or -1 when it had to be killed.
    int Stop(int signal, int timeoutMs);

    // After a stop: a free video port in the run folder's "connection.ini".
    bool TakeNewPort();
    // Another copy in the run folder, started as the service manager starts it,
    // with only the run folder's "sc" found; its pid, or -1.
    pid_t StartCopy(const std::string& output) const;

    std::string Log() const;
    // Until the log holds the text `count` times; false after timeoutMs.
    bool WaitForLog(const std::string& text, int timeoutMs, size_t count = 1) const;
    // Until the worker waits for events, its tree loaded: the first "." it logs
    // after connecting (verbosity 2 only); false after timeoutMs.
    bool WaitForEventLoop(int timeoutMs) const;
    // The output of the run recipe and of the program.
    std::string Output() const;
    std::string RunFolder() const { return m_folder + "/run"; }

private:
    std::string m_folder;
    pid_t m_pid = -1;
    uint16_t m_localPort = 0;
};

// How often the text occurs in the string.
size_t count_of(const std::string& text, const std::string& what);
