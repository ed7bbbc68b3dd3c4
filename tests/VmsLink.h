#pragma once

// One video-system client of the bridge, in the test's process: logs in, asks
// for the state and takes the updates. Elements are compared as text lines
// (see describe), so a failing test shows the whole difference.

#include "LinkTestClient.h"
#include "model/ElementRecord.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class VmsLink
{
public:
    // Connects and logs in; false when the bridge does not answer "OK".
    bool Open(uint16_t port, const std::string& login, const std::string& password);

    // Asks for the whole tree and returns it, one line per element, depth
    // first; updates that arrive before it are kept for NextUpdate. False when
    // no LINK_STATE comes or its records do not fill it exactly. The request
    // carries `ignoredBytes` of payload.
    bool GetState(std::vector<std::string>& elements, int timeoutMs = 10000, size_t ignoredBytes = 0);
    // Asks again until the tree equals `expected` or timeoutMs passes; the
    // last tree seen.
    std::vector<std::string> WaitForState(const std::vector<std::string>& expected, int timeoutMs = 20000);

    // The next LINK_UPDATE as a line with its level byte first ("" when none
    // comes in time). Any other frame fails the test.
    std::string NextUpdate(int timeoutMs = 20000);
    // Asks for the tree; true when the very next frame is the LINK_STATE that
    // answers (no update came before it).
    bool StateComesFirst(std::vector<std::string>& elements, int timeoutMs = 10000);

    bool WaitClosed(int timeoutMs) { return m_client.WaitClosed(timeoutMs); }

    // "group 1 L1 'name'", "object 10 group=1 state=0x1 L1 'name'",
    // "sensor 101 object=10 group=1 number=1 state=0x0 L1 'name'".
    static std::string describe(const ElementRecord& record);

private:
    LinkTestClient m_client;
    std::deque<std::string> m_updates;
};
