#include "VmsLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

bool read_records(const std::vector<uint8_t>& payload, std::vector<std::string>& elements)
{
    elements.clear();
    size_t offset = 0;
    ElementRecord record;
    while (read_element_record(payload.data(), payload.size(), offset, record))
        elements.push_back(VmsLink::describe(record));
    return offset == payload.size();
}

std::string lines_of(const std::vector<std::string>& elements)
{
    std::string text;
    for (const std::string& element : elements)
        text += "  " + element + "\n";
    return text;
}

} // namespace

std::string VmsLink::describe(const ElementRecord& record)
{
    char text[160];
    switch (record.level) {
    case LEVEL_GROUP:
        std::snprintf(text, sizeof(text), "group %d L%d", record.ID, record.StateLevel);
        break;
    case LEVEL_OBJECT:
        std::snprintf(text, sizeof(text), "object %d group=%d state=0x%X L%d", record.ID, record.Group,
                      static_cast<unsigned>(record.State), record.StateLevel);
        break;
    case LEVEL_SENSOR:
        std::snprintf(text, sizeof(text), "sensor %d object=%d group=%d number=%d state=0x%X L%d", record.ID,
                      record.ObjectID, record.Group, record.Number, static_cast<unsigned>(record.State),
                      record.StateLevel);
        break;
    default:
        std::snprintf(text, sizeof(text), "level%u %d L%d", record.level, record.ID, record.StateLevel);
    }
    return std::string(text) + " '" + record.Name + "'";
}

bool VmsLink::Open(uint16_t port, const std::string& login, const std::string& password)
{
    return m_client.Connect(port) && m_client.Login(login, password);
}

bool VmsLink::GetState(std::vector<std::string>& elements, int timeoutMs, size_t ignoredBytes)
{
    if (!m_client.SendFrame(LINK_GET_STATE, std::string(ignoredBytes, 'x')))
        return false;
    LinkFrameReader::Frame frame;
    while (m_client.ReadFrame(frame, timeoutMs) == LinkTestClient::Read::Frame) {
        if (frame.command == LINK_STATE)
            return read_records(frame.payload, elements);
        if (frame.command != LINK_UPDATE) {
            ADD_FAILURE() << "unexpected frame 0x" << std::hex << int(frame.command);
            return false;
        }
        std::vector<std::string> update;
        EXPECT_TRUE(read_records(frame.payload, update) && update.size() == 1) << "a broken update";
        m_updates.insert(m_updates.end(), update.begin(), update.end());
    }
    return false;
}

std::vector<std::string> VmsLink::WaitForState(const std::vector<std::string>& expected, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::string> elements;
    while (GetState(elements) && elements != expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(elements, expected) << "seen:\n" << lines_of(elements) << "expected:\n" << lines_of(expected);
    return elements;
}

std::string VmsLink::NextUpdate(int timeoutMs)
{
    if (!m_updates.empty()) {
        std::string next = m_updates.front();
        m_updates.pop_front();
        return next;
    }
    LinkFrameReader::Frame frame;
    if (m_client.ReadFrame(frame, timeoutMs) != LinkTestClient::Read::Frame)
        return std::string();
    std::vector<std::string> update;
    EXPECT_EQ(frame.command, LINK_UPDATE);
    EXPECT_TRUE(read_records(frame.payload, update) && update.size() == 1) << "a broken update";
    return update.empty() ? std::string() : update.front();
}

bool VmsLink::StateComesFirst(std::vector<std::string>& elements, int timeoutMs)
{
    LinkFrameReader::Frame frame;
    return m_updates.empty() && m_client.SendFrame(LINK_GET_STATE) &&
           m_client.ReadFrame(frame, timeoutMs) == LinkTestClient::Read::Frame && frame.command == LINK_STATE &&
           read_records(frame.payload, elements);
}
