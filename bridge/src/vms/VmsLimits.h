#pragma once

// What the video-system server grants its clients, in one place. Each limit is
// far above what a well-behaved video system needs (hundreds of clients, states
// of tens of MiB) and only stops peers that hold resources without using them.

#include <chrono>
#include <cstddef>

// Unsent frames one connection may hold (a state queued again while the same
// state waits counts once). A frame on an empty queue always goes, so a larger
// state still reaches a client that reads.
constexpr size_t kMaxQueuedBytesPerConnection = 64 * 1024 * 1024;
// Unsent frames all connections together may hold; past it the connections
// holding the most are closed.
constexpr size_t kMaxQueuedBytesTotal = 256 * 1024 * 1024;
static_assert(kMaxQueuedBytesPerConnection <= kMaxQueuedBytesTotal, "one connection may not exceed all");
// What one queued frame costs besides its bytes (its queue entry), so that
// requests answered with a shared state are not free.
constexpr size_t kQueueEntryCost = 64;
// Once this much queued data has been given back, the allocator is asked to
// return its free memory to the system.
constexpr size_t kReleasedBytesBeforeTrim = 16 * 1024 * 1024;

// From the accept to a successful login.
constexpr std::chrono::milliseconds kLoginTimeLimit{10000};
// From the first byte of a frame to its last, once logged in.
constexpr std::chrono::milliseconds kFrameTimeLimit{30000};

// Connections accepted and not yet logged in; one more closes the oldest of them.
constexpr size_t kMaxConnectionsAwaitingLogin = 256;
// Descriptors never taken by video-system connections, kept for the station
// link, the log and the library. With fewer left a new connection closes the
// oldest one still waiting for its login, or itself when none waits.
constexpr size_t kDescriptorReserve = 64;

// A failed login is logged once a second at most for each address.
constexpr std::chrono::milliseconds kFailedLoginLogInterval{1000};
// Addresses remembered for that; more are forgotten oldest first.
constexpr size_t kFailedLoginAddressesKept = 1024;

// A time limit above as it applies now: shortened while a test has set a scale.
std::chrono::milliseconds vms_time_limit(std::chrono::milliseconds limit);
// Test-only: divides every time limit above by divisor (1, or 0, restores them).
void set_vms_time_scale_for_tests(unsigned divisor);
