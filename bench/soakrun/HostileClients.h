#pragma once

// Video-system peers that do the bridge no favours: clients that log in, ask
// for the state and then never read, and connections that come and go
// without finishing what they begin.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace soak {

class SilentClients
{
public:
    SilentClients() = default;
    ~SilentClients();
    SilentClients(const SilentClients&) = delete;
    SilentClients& operator=(const SilentClients&) = delete;

    // Each client sends its login and a state request at once and never reads;
    // its receive buffer is kept small, so what the bridge sends it piles up
    // on the bridge's side. False when a client cannot connect.
    bool Open(uint16_t port, int count, const std::string& login, const std::string& password, std::string& error);
    void Close();
    size_t Count() const { return m_sockets.size(); }
    // Clients whose connection the bridge has closed or reset.
    size_t ClosedByPeer() const;

private:
    std::vector<int> m_sockets;
};

// What one connect/disconnect cycle does before it closes.
enum class Churn
{
    ConnectOnly,    // connects and closes at once
    LoginOnly,      // sends the login, closes without reading the answer
    StateUnread,    // logs in and asks for the state, closes without reading
    CutFrame,       // a header announcing 64 KiB, a few of its bytes, close
    WrongStart,     // bytes that are no frame
    WrongLogin,     // a login the bridge refuses
};
constexpr int kChurnKinds = 6;

struct ChurnFigures
{
    uint64_t cycles = 0;
    uint64_t refused = 0;  // connections the bridge did not take
};

// `cycles` connections one after another, a millisecond apart, the kinds in
// turn; stops early when `stop` is set.
ChurnFigures churn_connections(uint16_t port, uint64_t cycles, const std::string& login,
                               const std::string& password, const std::atomic<bool>& stop);

} // namespace soak
