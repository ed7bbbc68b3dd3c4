#pragma once

#include <cstddef>

// The bytes of unsent frames held for video-system clients, all connections
// together: each frame's bytes once, however many queues hold it, and each
// queue entry. Safe from any thread.
class QueuedMemory
{
public:
    static void Add(size_t bytes);
    // Once kReleasedBytesBeforeTrim have been given back since the last time,
    // the allocator returns its free memory to the system: large frames of
    // clients that are gone would otherwise stay with the process.
    static void Release(size_t bytes);
    static size_t Total();
    // Bytes counted as `before` now take `after` (a block of updates that
    // dropped its spare room as it was handed out); no trim is counted for it,
    // which would cost the I/O thread on every burst.
    static void Recount(size_t before, size_t after);

    // Bytes still counted that belong to connections already closed; they
    // are given back as soon as the writes in flight end.
    static void AddClosing(size_t bytes);
    static void ReleaseClosing(size_t bytes);
    // Total less closing: what closing connections would give back.
    static size_t Live();
};
