#include "vms/UpdateFanOut.h"

#include "model/ElementRecord.h"
#include "vms/ConnectionList.h"
#include "vms/LinkProtocol.h"

#include <boost/asio/post.hpp>

UpdateFanOut g_update_fan_out;

void UpdateFanOut::Open(boost::asio::io_context& io_service)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_io_service = &io_service;
}

void UpdateFanOut::Shut()
{
    std::vector<uint8_t> filling;
    std::vector<std::vector<uint8_t>> sealed;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_io_service = nullptr;
    filling.swap(m_filling);
    m_first_sealed += m_sealed.size();
    sealed.swap(m_sealed);
    // A Deliver posted to the stopped service never runs.
    m_posted = false;
}

void UpdateFanOut::Push(uint8_t level, const KorvelElementPtr& element)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_io_service == nullptr)
        return;
    const size_t start = m_filling.size();
    try {
        m_filling.resize(start + kLinkHeaderSize);
        append_element_record(element, level, m_filling);
    } catch (...) {
        // No partial frame may stay in the block.
        m_filling.resize(start);
        throw;
    }
    write_link_header(m_filling.data() + start, LINK_UPDATE,
                      static_cast<uint32_t>(m_filling.size() - start - kLinkHeaderSize));
    if (m_posted)
        return;
    m_posted = true;
    boost::asio::post(*m_io_service, [this]() { Deliver(); });
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Seal();
        sealed.swap(m_sealed);
        first = m_first_sealed;
        m_first_sealed += sealed.size();
        m_posted = false;
    }
    for (std::vector<uint8_t>& block : sealed) {
        // A block waiting for a slow client keeps no spare room.
        if (block.capacity() - block.size() > block.size() / 8)
            block.shrink_to_fit();
        m_blocks.push_back(std::make_shared<OrvantaConnection::ToSend>(std::move(block)));
    }
    // Queued outside the list mutex: a queue past its bound looks through the
    // list for the connections to close.
    g_connection_list.ForEachAlive([this](const OrvantaConnection::Ptr& connection) {
        if (connection->state_sent)
            m_receivers.push_back(connection);
    });
    for (const OrvantaConnection::Ptr& connection : m_receivers)
        OrvantaConnection::TakeUpdates(connection, m_blocks, first);
    m_receivers.clear();
    m_blocks.clear();
}
