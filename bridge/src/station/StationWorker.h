#pragma once

// The bridge's one thread on the Korvel side: binds the station library, logs in
// with the settings of "connection.ini", loads the element tree, follows the
// station's events and hands every changed element to the video-system server.
// When the library reports the station link lost and then back, the tree is
// loaded again on that link; a connection cycle that ends (a link that does
// not come back among others) is closed and, unless the service stops,
// started again after a pause.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class CMSC_Client;

// Room for one event document. The library renders an event of up to about
// 460 KB; one that does not fit would be lost after it left the queue.
constexpr int32_t kEventBufferSize = 1024 * 1024;
// Longest single wait for an event; on a time-out the loop waits again.
constexpr uint32_t kEventWaitMs = 5000;
// Pause between a closed connection cycle and the next attempt.
constexpr std::chrono::milliseconds kReconnectPause{2000};
// How long a lost station link may take to come back by the library's own
// reconnects (tried every 100 ms, each within its 5 s connect time-out) before
// the cycle is ended and the link opened afresh.
constexpr std::chrono::milliseconds kLinkRestoreWait{10000};
// While the worker has not ended after a stop, its station client is closed
// again this often: a call that began just before the stop is ended too.
constexpr std::chrono::milliseconds kStopCloseInterval{100};

// Set when the service stops; the worker polls it between library calls.
extern std::atomic<bool> g_worker_stop;

// The thread function. Ends when g_worker_stop is set or when the library
// cannot be bound.
void station_worker();

// Stops the worker running on the thread and joins it, whatever the station
// does: sets g_worker_stop, wakes the worker's waits, and closes its station
// client, which ends a connect, login or request under way.
void stop_station_worker(std::thread& worker);

// Signalled by stop_station_worker and by the library's reports on the station
// link; every wait of the worker ends on it. Cleared when a worker starts.
intptr_t worker_wake_handle();

// Why the event phase of a cycle ended.
enum class EventLoopEnd {
    Stopped,
    WaitFailed,
    // Reported by the library; the events queued are left to the caller.
    LinkLost,
};

// The event phase of one connection cycle: waits for events and applies each.
EventLoopEnd event_loop(CMSC_Client& client);

// Applies the events of one "eventlist" document to the tree and broadcasts
// every element whose level changed, noting the level sent for the next load
// to compare with; a document that does not read is dropped.
void apply_event_document(const std::string& text);

// Test-only: replaces the pause between connection cycles (a sleep otherwise).
// An empty function restores the sleep.
void set_reconnect_pause_for_tests(std::function<void(std::chrono::milliseconds)> pause);
// Test-only: another time for a lost link to come back.
void set_link_restore_wait_for_tests(std::chrono::milliseconds wait = kLinkRestoreWait);
