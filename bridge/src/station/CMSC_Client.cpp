#include "station/CMSC_Client.h"

#include "station/CMSC_ClientProxy.h"

#include "platform/Event.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

// Room for identifier lists and record documents at first.
constexpr int32_t kQueryBufferSize = 65536;
constexpr int32_t kImageBufferSize = 1048576;
// An identifier list may grow to this; 16 million identifiers is beyond any station.
constexpr int32_t kMaxIdListSize = 64 * 1024 * 1024;
constexpr int32_t kLastErrorSize = 8192;

// The in size of a text passed in: its length with the terminating 0, or -1 when
// it does not fit an int32.
int32_t text_size(const std::string& text)
{
    const size_t length = std::strlen(text.c_str());
    return length < static_cast<size_t>(INT32_MAX) ? static_cast<int32_t>(length + 1) : -1;
}

std::string text_from(const char* buffer, size_t size)
{
    return size == 0 ? std::string() : std::string(buffer, strnlen(buffer, size));
}

} // namespace

CMSC_Client::CMSC_Client(CMSC_ClientProxy* proxy, int32_t handle)
    : m_handle(handle), m_proxy(proxy)
{
    CMSC_ClientProxy::RegisterClient(this);
}

CMSC_Client::~CMSC_Client()
{
    // First, so that no notification reaches a client on its way out.
    StopNotifications();
    if (IsBound())
        m_proxy->m_Close(m_handle);
}

void CMSC_Client::StopNotifications()
{
    CMSC_ClientProxy::UnregisterClient(this);
}

int CMSC_Client::OnNotify(int32_t code, const char*, int32_t, int32_t, int32_t, int32_t)
{
    // The state first, then the event: a waiter that clears the event before
    // it looks never misses a report.
    if (code == MSC_NOTIFY_DISCONNECTED) {
        m_linkUp = false;
        m_connectionLost = true;
    } else if (code == MSC_NOTIFY_CONNECTED) {
        m_linkUp = true;
    } else {
        return 0;
    }
    const intptr_t event = m_linkReportEvent;
    if (event > 0)
        platform::set_event(static_cast<platform::WaitHandle>(event));
    return 0;
}

bool CMSC_Client::IsBound() const
{
    return m_proxy != nullptr && m_proxy->IsLoaded() && m_handle != -1;
}

int CMSC_Client::Open(const std::string& host, int32_t port, const std::string& login, const std::string& password)
{
    if (m_proxy == nullptr || !m_proxy->IsLoaded())
        return -1;
    return m_proxy->m_Open(m_handle, host.c_str(), port, login.c_str(), password.c_str());
}

int CMSC_Client::Close()
{
    return IsBound() ? m_proxy->m_Close(m_handle) : -1;
}

int CMSC_Client::IsConnected()
{
    return IsBound() ? m_proxy->m_IsConnected(m_handle) : -1;
}

int CMSC_Client::ResetEventQueue()
{
    return IsBound() ? m_proxy->m_ResetEventQueue(m_handle) : -1;
}

int CMSC_Client::WaitEvent(uint32_t timeoutMs, intptr_t extraHandle)
{
    return IsBound() ? m_proxy->m_WaitEvent(m_handle, timeoutMs, extraHandle) : -1;
}

int CMSC_Client::ReadEvent(char* buffer, int32_t size)
{
    return IsBound() ? m_proxy->m_ReadEvent(m_handle, buffer, size) : -1;
}

std::string CMSC_Client::GetLastError()
{
    if (!IsBound())
        return std::string();
    std::vector<char> buffer(kLastErrorSize, '\0');
    if (m_proxy->m_GetLastError(m_handle, buffer.data(), kLastErrorSize) != MSC_OK)
        return std::string();
    return text_from(buffer.data(), buffer.size());
}

int CMSC_Client::IOCtrl(int32_t command, const void* input, int32_t inputSize, void* output, int32_t outputSize,
                        int32_t* outLength)
{
    return IsBound() ? m_proxy->m_IOCtrl(m_handle, command, input, inputSize, output, outputSize, outLength) : -1;
}

int CMSC_Client::GetIdList(int32_t command, std::vector<int32_t>& ids)
{
    if (!IsBound())
        return -1;
    // The library refuses a list that does not fit whole, so a large station
    // needs a larger buffer; nothing else fails it.
    for (int32_t size = kQueryBufferSize;; size *= 2) {
        std::vector<int32_t> buffer;
        try {
            buffer.resize(static_cast<size_t>(size) / sizeof(int32_t));
        } catch (const std::bad_alloc&) {
            return MSC_ERROR;
        }
        int32_t outLength = 0;
        const int result = IOCtrl(command, nullptr, 0, buffer.data(), size, &outLength);
        if (result == MSC_OK) {
            // Never more than the buffer holds, whatever length comes back.
            const size_t reported = outLength > 0 ? static_cast<size_t>(outLength) / sizeof(int32_t) : 0;
            const size_t count = std::min(reported, buffer.size());
            ids.insert(ids.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
            return result;
        }
        if (result != MSC_ERROR || size >= kMaxIdListSize)
            return result;
    }
}

int CMSC_Client::GetObjectList(std::vector<int32_t>& ids)
{
    return GetIdList(MSC_IOCTL_GET_OBJECT_IDS, ids);
}

int CMSC_Client::GetDeviceIds(std::vector<int32_t>& ids)
{
    return GetIdList(MSC_IOCTL_GET_DEVICE_IDS, ids);
}

int CMSC_Client::GetGroupIds(std::vector<int32_t>& ids)
{
    return GetIdList(MSC_IOCTL_GET_GROUP_IDS, ids);
}

int CMSC_Client::GetDocument(int32_t command, int32_t id, int32_t bufferSize, std::string& text)
{
    if (!IsBound())
        return -1;
    try {
        std::vector<char> buffer(static_cast<size_t>(bufferSize), '\0');
        int32_t outLength = 0;
        int result = IOCtrl(command, &id, sizeof(id), buffer.data(), bufferSize, &outLength);
        // A cut document comes with its full length + 1: ask once more with room for it,
        // rather than hand on a record that has lost its tail.
        if (result == MSC_OK && outLength > bufferSize) {
            const int32_t size = outLength;
            buffer.assign(static_cast<size_t>(size), '\0');
            outLength = 0;
            result = IOCtrl(command, &id, sizeof(id), buffer.data(), size, &outLength);
        }
        if (result == MSC_OK)
            text = text_from(buffer.data(), buffer.size());
        return result;
    } catch (const std::bad_alloc&) {
        return MSC_ERROR;
    }
}

int CMSC_Client::GetObjectByID(int32_t id, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_BY_ID, id, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectByNumber(int32_t number, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_BY_NUMBER, number, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectByDevice(int32_t deviceId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_BY_DEVICE, deviceId, kQueryBufferSize, text);
}

int CMSC_Client::GetDeviceByID(int32_t id, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_DEVICE_BY_ID, id, kQueryBufferSize, text);
}

int CMSC_Client::GetDeviceByNumber(int32_t number, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_DEVICE_BY_NUMBER, number, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectSensors(int32_t objectId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_SENSORS, objectId, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectClients(int32_t objectId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_CLIENTS, objectId, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectPins(int32_t objectId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_PINS, objectId, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectSchedules(int32_t objectId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_SCHEDULES, objectId, kQueryBufferSize, text);
}

int CMSC_Client::GetObjetGroupByID(int32_t id, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_GROUP_BY_ID, id, kQueryBufferSize, text);
}

int CMSC_Client::GetGroupByNumber(int32_t number, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_GROUP_BY_NUMBER, number, kQueryBufferSize, text);
}

int CMSC_Client::GetObjectImages(int32_t objectId, std::string& text)
{
    return GetDocument(MSC_IOCTL_GET_OBJECT_IMAGES, objectId, kImageBufferSize, text);
}

int32_t CMSC_Client::GetLoginValue()
{
    int32_t value = 0;
    int32_t outLength = 0;
    if (IOCtrl(MSC_IOCTL_GET_LOGIN_VALUE, nullptr, 0, &value, sizeof(value), &outLength) != MSC_OK)
        return -1;
    return value;
}

int CMSC_Client::Transact(int32_t a, int32_t b, const void* data, int32_t length, void* output, int32_t outputSize,
                          int32_t* outLength)
{
    if (!IsBound())
        return -1;
    if (length < 0 || length > INT32_MAX - 8 || (data == nullptr && length > 0))
        return MSC_ERROR;
    try {
        std::vector<char> block(8 + static_cast<size_t>(length));
        std::memcpy(block.data(), &a, 4);
        std::memcpy(block.data() + 4, &b, 4);
        if (length > 0)
            std::memcpy(block.data() + 8, data, static_cast<size_t>(length));
        return IOCtrl(MSC_IOCTL_TRANSACT, block.data(), length + 8, output, outputSize, outLength);
    } catch (const std::bad_alloc&) {
        return MSC_ERROR;
    }
}

int CMSC_Client::GetText(int32_t command, const void* input, int32_t inputSize, std::string& text, int32_t size)
{
    if (!IsBound())
        return -1;
    if (size < 0 || inputSize < 0)
        return MSC_ERROR;
    try {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        int32_t outLength = 0;
        const int result = IOCtrl(command, input, inputSize, size > 0 ? buffer.data() : nullptr, size, &outLength);
        if (result == MSC_OK)
            text = text_from(buffer.data(), buffer.size());
        return result;
    } catch (const std::bad_alloc&) {
        return MSC_ERROR;
    }
}

int CMSC_Client::GetEvents(const std::string& filter, std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_EVENTS, filter.c_str(), text_size(filter), text, size);
}

int CMSC_Client::GetDeviceTests(const std::string& filter, std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_DEVICE_TESTS, filter.c_str(), text_size(filter), text, size);
}

int CMSC_Client::GetEventsRaw(const std::string& filter, char* buffer, int32_t size, int32_t* outLength)
{
    if (!IsBound())
        return -1;
    const int32_t filterSize = text_size(filter);
    if (buffer == nullptr || size < 0 || filterSize < 0)
        return MSC_ERROR;
    return IOCtrl(MSC_IOCTL_GET_EVENTS_RAW, filter.c_str(), filterSize, buffer, size, outLength);
}

int CMSC_Client::GetDictionaryText(int32_t id, std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_DICTIONARY_TEXT, &id, sizeof(id), text, size);
}

int CMSC_Client::GetUsers(std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_USERS, nullptr, 0, text, size);
}

int CMSC_Client::GetDeviceTypes(std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_DEVICE_TYPES, nullptr, 0, text, size);
}

int CMSC_Client::GetShifts(std::string& text, int32_t size)
{
    return GetText(MSC_IOCTL_GET_SHIFTS, nullptr, 0, text, size);
}

int CMSC_Client::SetClientType(int32_t type)
{
    return IOCtrl(MSC_IOCTL_SET_CLIENT_TYPE, &type, sizeof(type), nullptr, 0, nullptr);
}

int CMSC_Client::TextIn(int32_t command, const std::string& text, void* output, int32_t outputSize)
{
    if (!IsBound())
        return -1;
    const int32_t size = text_size(text);
    if (size < 0)
        return MSC_ERROR;
    return IOCtrl(command, text.c_str(), size, output, outputSize, nullptr);
}

int CMSC_Client::AddRecord(int32_t command, const std::string& document, int32_t& newId)
{
    int32_t id = 0;
    const int result = TextIn(command, document, &id, sizeof(id));
    if (result == MSC_OK)
        newId = id;
    return result;
}

int CMSC_Client::AddObject(const std::string& document, int32_t& newId)
{
    return AddRecord(MSC_IOCTL_ADD_OBJECT, document, newId);
}

int CMSC_Client::AddDevice(const std::string& document, int32_t& newId)
{
    return AddRecord(MSC_IOCTL_ADD_DEVICE, document, newId);
}

int CMSC_Client::AddGroup(const std::string& document, int32_t& newId)
{
    return AddRecord(MSC_IOCTL_ADD_GROUP, document, newId);
}

int CMSC_Client::DocumentOut(int32_t command, const void* input, int32_t inputSize, const std::string& document)
{
    if (!IsBound())
        return -1;
    const int32_t size = text_size(document);
    if (size < 0)
        return MSC_ERROR;
    try {
        // The library takes the document through its output block, which is not const.
        std::vector<char> buffer(document.c_str(), document.c_str() + size);
        return IOCtrl(command, input, inputSize, buffer.data(), size, nullptr);
    } catch (const std::bad_alloc&) {
        return MSC_ERROR;
    }
}

int CMSC_Client::AddSensor(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_ADD_SENSOR, &objectId, sizeof(objectId), document);
}

int CMSC_Client::AddClient(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_ADD_CLIENT, &objectId, sizeof(objectId), document);
}

int CMSC_Client::AddPin(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_ADD_PIN, &objectId, sizeof(objectId), document);
}

int CMSC_Client::ChangeObject(const std::string& document)
{
    return TextIn(MSC_IOCTL_CHANGE_OBJECT, document, nullptr, 0);
}

int CMSC_Client::ChangeDevice(const std::string& document)
{
    return TextIn(MSC_IOCTL_CHANGE_DEVICE, document, nullptr, 0);
}

int CMSC_Client::ChangeGroup(const std::string& document)
{
    return TextIn(MSC_IOCTL_CHANGE_GROUP, document, nullptr, 0);
}

int CMSC_Client::ChangeSensor(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_CHANGE_SENSOR, &objectId, sizeof(objectId), document);
}

int CMSC_Client::ChangeClient(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_CHANGE_CLIENT, &objectId, sizeof(objectId), document);
}

int CMSC_Client::ChangePin(int32_t objectId, const std::string& document)
{
    return DocumentOut(MSC_IOCTL_CHANGE_PIN, &objectId, sizeof(objectId), document);
}

int CMSC_Client::RemoveObject(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_OBJECT, document, nullptr, 0);
}

int CMSC_Client::RemoveDevice(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_DEVICE, document, nullptr, 0);
}

int CMSC_Client::RemoveSensor(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_SENSOR, document, nullptr, 0);
}

int CMSC_Client::RemoveClient(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_CLIENT, document, nullptr, 0);
}

int CMSC_Client::RemovePin(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_PIN, document, nullptr, 0);
}

int CMSC_Client::RemoveGroup(const std::string& document)
{
    return TextIn(MSC_IOCTL_REMOVE_GROUP, document, nullptr, 0);
}

int CMSC_Client::SendControl(int32_t id, int32_t a, int32_t b)
{
    const int32_t block[3] = {id, a, b};
    return IOCtrl(MSC_IOCTL_SEND_CONTROL, block, sizeof(block), nullptr, 0, nullptr);
}

int CMSC_Client::SendControlById(int32_t id)
{
    return IOCtrl(MSC_IOCTL_SEND_CONTROL_BY_ID, &id, sizeof(id), nullptr, 0, nullptr);
}

int CMSC_Client::PostItem(int32_t a, int32_t b, int32_t c, const std::string& text)
{
    const int32_t block[3] = {a, b, c};
    return DocumentOut(MSC_IOCTL_POST_ITEM, block, sizeof(block), text);
}
