#include "vms/QueuedMemory.h"

#include "vms/VmsLimits.h"

#include <malloc.h>

#include <atomic>

namespace {

std::atomic<size_t> g_total{0};
std::atomic<size_t> g_closing{0};
std::atomic<size_t> g_released_since_trim{0};

} // namespace

void QueuedMemory::Add(size_t bytes)
{
    g_total += bytes;
}

void QueuedMemory::Release(size_t bytes)
{
    g_total -= bytes;
    if (g_released_since_trim.fetch_add(bytes) + bytes < kReleasedBytesBeforeTrim)
        return;
    g_released_since_trim = 0;
    ::malloc_trim(0);
}

void QueuedMemory::Recount(size_t before, size_t after)
{
    // Modular: a smaller `after` subtracts.
    g_total += after - before;
}

size_t QueuedMemory::Total()
{
    return g_total;
}

void QueuedMemory::AddClosing(size_t bytes)
{
    g_closing += bytes;
}

void QueuedMemory::ReleaseClosing(size_t bytes)
{
    g_closing -= bytes;
}

size_t QueuedMemory::Live()
{
    // A frame shared by several closing connections is counted closing by
    // each of them.
    const size_t total = g_total;
    const size_t closing = g_closing;
    return total > closing ? total - closing : 0;
}
