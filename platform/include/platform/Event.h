#pragma once

#include <cstdint>

namespace platform {

// A wait handle is a file descriptor that polls readable while it is signalled.
// Our events are eventfds; a wait may also include any other such descriptor,
// which is polled and never read.
using WaitHandle = int;

constexpr WaitHandle kInvalidWaitHandle = -1;

// Time-out that never expires.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
// Results of the waits: kWaitObject0 + index of the handle that ended the wait.
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
// Most handles one wait takes.
constexpr uint32_t kMaxWaitHandles = 64;

// Creates an event. An auto-reset event is cleared by the one wait it releases;
// a manual-reset event stays signalled until reset. Returns kInvalidWaitHandle
// on failure, with errno set.
WaitHandle create_event(bool manualReset, bool initialState);
// Failures of these return false with errno set.
bool set_event(WaitHandle event);
bool reset_event(WaitHandle event);
bool close_event(WaitHandle event);

// Waits until one of the handles is signalled or the time-out (ms) passes. The
// lowest signalled index wins; only that handle, if it is an auto-reset event,
// is cleared. Returns kWaitObject0 + index, kWaitTimeout, or kWaitFailed with
// errno set (no handles, too many, or a descriptor that is not open).
uint32_t wait_for_multiple(const WaitHandle* handles, uint32_t count, uint32_t timeoutMs);
uint32_t wait_for_single(WaitHandle handle, uint32_t timeoutMs);

} // namespace platform
