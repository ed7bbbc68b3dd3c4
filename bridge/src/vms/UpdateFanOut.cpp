#include "vms/UpdateFanOut.h"

#include "model/ElementRecord.h"
#include "vms/LinkProtocol.h"
#include "vms/QueuedMemory.h"

#include <boost/asio/post.hpp>

#include <new>

UpdateFanOut g_update_fan_out;

void UpdateFanOut::Open(boost::asio::io_context& io_service, Receiver receiver)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_io_service = &io_service;
    m_receiver = receiver;
}

void UpdateFanOut::Shut()
{
    std::vector<uint8_t> filling;
    std::vector<std::vector<uint8_t>> sealed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_io_service = nullptr;
        m_receiver = nullptr;
        filling.swap(m_filling);
        m_first_sealed += m_sealed.size();
        sealed.swap(m_sealed);
        // A Deliver posted to the stopped service never runs.
        m_posted = false;
        m_failures_for_tests = 0;
    }
    size_t counted = filling.capacity();
    for (const std::vector<uint8_t>& block : sealed)
        counted += block.capacity();
    QueuedMemory::Release(counted);
}

void UpdateFanOut::Push(uint8_t level, const KorvelElementPtr& element)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_io_service == nullptr)
        return;
    const size_t start = m_filling.size();
    const size_t capacity = m_filling.capacity();
    try {
        m_filling.resize(start + kLinkHeaderSize);
        if (m_failures_for_tests > 0) {
            --m_failures_for_tests;
            throw std::bad_alloc();
        }
        append_element_record(element, level, m_filling);
    } catch (...) {
        // No partial frame may stay in the block.
        m_filling.resize(start);
        CountGrowth(capacity);
        throw;
    }
    CountGrowth(capacity);
    write_link_header(m_filling.data() + start, LINK_UPDATE,
                      static_cast<uint32_t>(m_filling.size() - start - kLinkHeaderSize));
    if (m_filling.size() >= kBlockBytes)
        Seal();
    if (m_posted)
        return;
    m_posted = true;
    boost::asio::post(*m_io_service, [this]() { Deliver(); });
}

void UpdateFanOut::CountGrowth(size_t capacity_before)
{
    // Only when the block grew: the count is shared with the I/O thread, and
    // most frames fit the room there is.
    if (m_filling.capacity() != capacity_before)
        QueuedMemory::Add(m_filling.capacity() - capacity_before);
}

void UpdateFanOut::FailNextPushesForTests(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures_for_tests = count;
}

uint64_t UpdateFanOut::Mark()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Seal();
    return m_first_sealed + m_sealed.size();
}

void UpdateFanOut::Seal()
{
    if (m_filling.empty())
        return;
    m_sealed.push_back(std::move(m_filling));
    m_filling = std::vector<uint8_t>();
}

void UpdateFanOut::Deliver()
{
    std::vector<std::vector<uint8_t>> sealed;
    uint64_t first = 0;
    Receiver receiver = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Seal();
        sealed.swap(m_sealed);
        first = m_first_sealed;
        m_first_sealed += sealed.size();
        m_posted = false;
        receiver = m_receiver;
    }
    for (std::vector<uint8_t>& block : sealed) {
        const size_t counted = block.capacity();
        // A block waiting for a slow client keeps no spare room.
        if (block.capacity() - block.size() > block.size() / 8)
            block.shrink_to_fit();
        m_blocks.push_back(std::make_shared<ToSend>(std::move(block), counted));
    }
    if (receiver != nullptr)
        receiver(m_blocks, first);
    m_blocks.clear();
}
