#include "vms/ToSend.h"

#include "vms/QueuedMemory.h"

ToSend::ToSend(std::vector<uint8_t> frame) : data(std::move(frame))
{
    QueuedMemory::Add(data.capacity());
}

ToSend::ToSend(std::vector<uint8_t> frame, size_t counted) : data(std::move(frame))
{
    QueuedMemory::Recount(counted, data.capacity());
}

ToSend::~ToSend()
{
    QueuedMemory::Release(data.capacity());
}
