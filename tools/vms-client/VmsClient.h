#pragma once

#include "model/ElementRecord.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Exit codes of vms-client.
constexpr int kVmsClientDone = 0;    // the bridge closed the connection
constexpr int kVmsClientFailed = 1;  // no connection, an error frame or a broken stream
constexpr int kVmsClientUsage = 2;

// One video-system session: connects, logs in, asks for the state, prints the
// tree and then one line per update until the bridge closes the connection.
// Every line goes out flushed, so a reader sees updates as they come.
class VmsClient
{
public:
    explicit VmsClient(std::ostream& out) : m_out(out) {}

    // The exit code.
    int Run(const std::string& host, const std::string& port, const std::string& login,
            const std::string& password);

private:
    void PrintState(const std::vector<uint8_t>& payload);
    void PrintUpdate(const std::vector<uint8_t>& payload);

    std::ostream& m_out;
};

// One record as a line: its kind, ids, raw state, state level and name.
std::string describe_element_record(const ElementRecord& record);
