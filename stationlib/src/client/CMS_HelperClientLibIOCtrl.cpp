// The IOCtrl commands of a client instance: queries of the caches, station
// requests and the choice of client type, each answering into the caller's
// output block as text, as 32-bit words or as raw bytes.

#include "client/CMS_HelperClientLib.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"

#include "Ardentis.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const char kEventListHead[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<eventlist>\r\n";
const char kEventListRootEnd[] = "\r\n</eventlist>";
const char kEventListTail[] = "</eventlist>";

// Constant data, so nothing here is destroyed under a call still running while
// the library unloads.
#define DEVICE_DECLARATION "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n"
const char kDeviceListHead[] = DEVICE_DECLARATION "<devtypelist>\n";
const char kDeviceRootStart[] = DEVICE_DECLARATION "<Root>\n";
#undef DEVICE_DECLARATION
const char kDeviceRootEnd[] = "</Root>\n";
const char kDeviceStart[] = "<devtype>\n";
const char kDeviceEnd[] = "</devtype>\n";
const char kDeviceListTail[] = "</devtypelist>\n";

// The station's image request filters by this key.
const char kImageFilterKey[] = "object_id=";

// Shortest event or device-test filter the station is asked with.
constexpr size_t kMinFilterLength = 5;

// Output size at which the device-type list delivers nothing at all.
constexpr int32_t kDeviceListMinOutput = 5;

void erase_first(std::string& text, const std::string& what)
{
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.erase(at, what.size());
}

void replace_first(std::string& text, const std::string& what, const std::string& with)
{
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
}

int32_t length_plus_one(size_t length)
{
    const size_t limit = static_cast<size_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(std::min(length, limit - 1) + 1);
}

// What a command demands of the blocks before it does anything. A size of 0
// checks nothing; an unsigned size lets a negative one pass.
struct Checks
{
    int32_t in = 0;
    bool inUnsigned = false;
    int32_t out = 0;
    bool outUnsigned = false;
    bool inText = false;   // the input block ends in a 0
    bool outText = false;  // the output block ends in a 0 (an XML record handed in)
    bool filter = false;   // the input text is long enough to filter by
};

constexpr Checks kOut{0, false, 1, false, false, false, false};
constexpr Checks kIdOut{4, true, 1, false, false, false, false};
constexpr Checks kFilterOut{5, false, 1, false, true, false, true};
constexpr Checks kRecordInIdOut{1, false, 4, true, true, false, false};
constexpr Checks kIdRecordOut{4, true, 1, false, false, true, false};
constexpr Checks kRecordIn{1, false, 0, false, true, false, false};
constexpr Checks kRemovalIn{5, false, 0, false, true, false, false};

// The checks of a command; false for a number that is no command.
bool checks_of(int32_t command, Checks& checks)
{
    switch (command) {
    case MSC_IOCTL_GET_OBJECT_IDS:
    case MSC_IOCTL_GET_DEVICE_IDS:
    case MSC_IOCTL_GET_GROUP_IDS:
    case MSC_IOCTL_GET_USERS:
    case MSC_IOCTL_GET_DEVICE_TYPES:
    case MSC_IOCTL_GET_SHIFTS:
        checks = kOut;
        return true;
    case MSC_IOCTL_GET_OBJECT_BY_ID:
    case MSC_IOCTL_GET_OBJECT_BY_NUMBER:
    case MSC_IOCTL_GET_OBJECT_BY_DEVICE:
    case MSC_IOCTL_GET_DEVICE_BY_ID:
    case MSC_IOCTL_GET_DEVICE_BY_NUMBER:
    case MSC_IOCTL_GET_OBJECT_SENSORS:
    case MSC_IOCTL_GET_OBJECT_CLIENTS:
    case MSC_IOCTL_GET_OBJECT_PINS:
    case MSC_IOCTL_GET_OBJECT_SCHEDULES:
    case MSC_IOCTL_GET_OBJECT_IMAGES:
    case MSC_IOCTL_GET_GROUP_BY_ID:
    case MSC_IOCTL_GET_GROUP_BY_NUMBER:
    case MSC_IOCTL_GET_DICTIONARY_TEXT:
        checks = kIdOut;
        return true;
    case MSC_IOCTL_TRANSACT:
        checks = Checks{8, false, 1, false, false, false, false};
        return true;
    case MSC_IOCTL_GET_LOGIN_VALUE:
        checks = Checks{0, false, 4, true, false, false, false};
        return true;
    case MSC_IOCTL_GET_EVENTS:
    case MSC_IOCTL_GET_DEVICE_TESTS:
    case MSC_IOCTL_GET_EVENTS_RAW:
        checks = kFilterOut;
        return true;
    case MSC_IOCTL_SET_CLIENT_TYPE:
    case MSC_IOCTL_SEND_CONTROL_BY_ID:
        checks = Checks{4, true, 0, false, false, false, false};
        return true;
    case MSC_IOCTL_ADD_OBJECT:
    case MSC_IOCTL_ADD_DEVICE:
    case MSC_IOCTL_ADD_GROUP:
        checks = kRecordInIdOut;
        return true;
    case MSC_IOCTL_ADD_SENSOR:
    case MSC_IOCTL_ADD_CLIENT:
    case MSC_IOCTL_ADD_PIN:
    case MSC_IOCTL_CHANGE_SENSOR:
    case MSC_IOCTL_CHANGE_CLIENT:
    case MSC_IOCTL_CHANGE_PIN:
        checks = kIdRecordOut;
        return true;
    case MSC_IOCTL_CHANGE_OBJECT:
    case MSC_IOCTL_CHANGE_DEVICE:
    case MSC_IOCTL_CHANGE_GROUP:
        checks = kRecordIn;
        return true;
    case MSC_IOCTL_REMOVE_OBJECT:
    case MSC_IOCTL_REMOVE_DEVICE:
    case MSC_IOCTL_REMOVE_SENSOR:
    case MSC_IOCTL_REMOVE_CLIENT:
    case MSC_IOCTL_REMOVE_PIN:
    case MSC_IOCTL_REMOVE_GROUP:
        checks = kRemovalIn;
        return true;
    case MSC_IOCTL_SEND_CONTROL:
        checks = Checks{12, true, 0, false, false, false, false};
        return true;
    case MSC_IOCTL_POST_ITEM:
        checks = Checks{12, true, 1, false, false, true, false};
        return true;
    default:
        return false;
    }
}

// The blocks of one call: the checks made on them and the forms in which the
// answer goes out.
class IoCtrlCall
{
public:
    IoCtrlCall(const void* input, int32_t inputSize, void* output, int32_t outputSize, int32_t* outLength)
        : m_input(static_cast<const char*>(input))
        , m_inputSize(inputSize)
        , m_output(static_cast<char*>(output))
        , m_outputSize(outputSize)
        , m_outLength(outLength)
    {
    }

    bool Passes(const Checks& c) const
    {
        if (c.in > 0 && !Holds(m_input, m_inputSize, c.in, c.inUnsigned))
            return false;
        if (c.out > 0 && !Holds(m_output, m_outputSize, c.out, c.outUnsigned))
            return false;
        // Both text checks come with a signed size of at least 1.
        if (c.inText && m_input[m_inputSize - 1] != 0)
            return false;
        if (c.outText && m_output[m_outputSize - 1] != 0)
            return false;
        return !c.filter || std::strlen(m_input) >= kMinFilterLength;
    }

    // The int32 at `index` of the input block.
    int32_t InputWord(int index) const
    {
        int32_t word = 0;
        std::memcpy(&word, m_input + 4 * index, sizeof word);  // the caller's block may be unaligned
        return word;
    }
    int32_t Id() const { return InputWord(0); }

    // Only after an in-text or out-text check.
    std::string InputText() const { return std::string(m_input); }
    std::string OutputText() const { return std::string(m_output); }

    char* Output() const { return m_output; }
    int32_t OutputSize() const { return m_outputSize; }

    void SetOutLength(int32_t length) const
    {
        if (m_outLength != nullptr)
            *m_outLength = length;
    }

    // Form A: as much as fits, and the full length + 1, so that a caller can grow
    // its buffer and ask again. A document that could not be built fails.
    bool FullLength(const std::string& text) const
    {
        if (text.empty())
            return false;
        Copy(text);
        m_output[m_outputSize - 1] = 0;
        SetOutLength(length_plus_one(text.size()));
        return true;
    }

    // Form B: as much as fits and the length copied + 1; false when the text was
    // cut. An empty text is no failure here: some commands have nothing to say.
    bool CopiedLength(const std::string& text) const
    {
        const size_t n = Copy(text);
        if (n > 0)
            SetOutLength(length_plus_one(n));
        return n == text.size();
    }

    // Form B for a list document, which is empty only when it could not be built.
    bool CopiedDocument(const std::string& text) const { return !text.empty() && CopiedLength(text); }

    // Identifiers written by a cache: their count, or -1 when they did not fit.
    bool Ids(int32_t count) const
    {
        if (count < 0)
            return false;
        SetOutLength(4 * count);
        return true;
    }

    bool Int(int32_t value) const
    {
        std::memcpy(m_output, &value, sizeof value);
        SetOutLength(4);
        return true;
    }

    // Exactly what fits of the bytes.
    bool Raw(const std::vector<uint8_t>& bytes) const
    {
        const size_t n = std::min(bytes.size(), static_cast<size_t>(m_outputSize));
        if (n > 0)
            std::memcpy(m_output, bytes.data(), n);
        SetOutLength(static_cast<int32_t>(n));
        return true;
    }

private:
    static bool Holds(const char* block, int32_t size, int32_t n, bool asUnsigned)
    {
        if (block == nullptr)
            return false;
        return asUnsigned ? static_cast<uint32_t>(size) >= static_cast<uint32_t>(n) : size >= n;
    }

    // The first characters of the text that leave room for a 0, and the 0.
    size_t Copy(const std::string& text) const
    {
        const size_t n = std::min(text.size(), static_cast<size_t>(m_outputSize - 1));
        std::memcpy(m_output, text.data(), n);
        m_output[n] = 0;
        return n;
    }

    const char* m_input;
    int32_t m_inputSize;
    char* m_output;
    int32_t m_outputSize;
    int32_t* m_outLength;
};

// The events' single-record documents as one "eventlist", each stripped of its
// head and its root's end; whatever does not fit is cut off where the room ends.
// False when something was cut.
bool write_event_list(const std::vector<std::string>& documents, const IoCtrlCall& call)
{
    char* buffer = call.Output();
    int32_t written = 0;
    int32_t room = call.OutputSize() - 1;
    bool whole = true;
    // Terminated even when not a character fits.
    buffer[0] = 0;
    const auto append = [&](const std::string& text) {
        whole = CMS_HelperClientLib::CopyToBuffer(buffer, written, room, text) == static_cast<int32_t>(text.size())
            && whole;
    };
    append(kEventListHead);
    for (std::string document : documents) {
        erase_first(document, kEventListHead);
        erase_first(document, kEventListRootEnd);
        append(document);
    }
    append(kEventListTail);
    if (written > 0)
        call.SetOutLength(written + 1);
    return whole;
}

// The device-type documents as one "devtypelist": each document's root becomes a
// "devtype" element. False when the stream cannot give every document it counts.
bool device_type_list(CByteStream& stream, std::string& list)
{
    stream.Rewind();
    int32_t count = 0;
    if (!stream.ReadInt32(count))
        return false;
    list = kDeviceListHead;
    std::string document;
    for (int32_t i = 0; i < count; ++i) {
        if (!stream.ReadString(document))
            return false;
        replace_first(document, kDeviceRootStart, kDeviceStart);
        replace_first(document, kDeviceRootEnd, kDeviceEnd);
        list += document;
    }
    list += kDeviceListTail;
    return true;
}

// The device-type list in form B. Nothing is written when there are no
// documents, and nothing can be when the output holds 4 bytes or fewer.
bool write_device_types(const IoCtrlCall& call)
{
    CByteStream stream;
    // The stream is of the library's own writing, its documents re-printed with
    // indents: every one comes back, also one longer than the station would send.
    stream.AcceptWrittenStrings();
    if (!const_devices().WriteDocuments(&stream))
        return false;
    int32_t count = 0;
    stream.Rewind();
    if (!stream.ReadInt32(count) || count <= 0)
        return true;
    if (call.OutputSize() < kDeviceListMinOutput)
        return false;
    std::string list;
    return device_type_list(stream, list) && call.CopiedLength(list);
}

} // namespace

int32_t CMS_HelperClientLib::CopyToBuffer(char* buffer, int32_t& written, int32_t& room, const std::string& text)
{
    if (room <= 0)
        return 0;
    const int32_t n = static_cast<int32_t>(std::min(text.size(), static_cast<size_t>(room)));
    std::memcpy(buffer + written, text.data(), static_cast<size_t>(n));
    buffer[written + n] = 0;
    written += n;
    room -= n;
    return n;
}

bool CMS_HelperClientLib::IOCtrl(int32_t command, const void* input, int32_t inputSize, void* output,
                                 int32_t outputSize, int32_t* outLength)
{
    if (outLength != nullptr)
        *outLength = 0;
    Checks checks;
    const IoCtrlCall call(input, inputSize, output, outputSize, outLength);
    if (!checks_of(command, checks) || !call.Passes(checks))
        return false;

    CMS_ServerClient& station = GetServerClient();
    switch (command) {
    case MSC_IOCTL_GET_OBJECT_IDS: return call.Ids(station.GetObjectIDs(output, outputSize));
    case MSC_IOCTL_GET_DEVICE_IDS: return call.Ids(station.GetDeviceIDs(output, outputSize));
    case MSC_IOCTL_GET_GROUP_IDS: return call.Ids(station.GetGroupIDs(output, outputSize));
    case MSC_IOCTL_GET_LOGIN_VALUE: return call.Int(station.GetLoginValue());

    case MSC_IOCTL_GET_OBJECT_BY_ID:
    case MSC_IOCTL_GET_OBJECT_BY_NUMBER:
    case MSC_IOCTL_GET_OBJECT_BY_DEVICE: {
        CMS_ObjectData object;
        const int32_t id = call.Id();
        const bool found = command == MSC_IOCTL_GET_OBJECT_BY_ID ? station.FindObjectByID(id, object)
            : command == MSC_IOCTL_GET_OBJECT_BY_NUMBER          ? station.FindObjectByNumber(id, object)
                                                                 : station.FindObjectByDeviceID(id, object);
        return found && call.FullLength(RecordToXml(object, "object"));
    }
    case MSC_IOCTL_GET_DEVICE_BY_ID:
    case MSC_IOCTL_GET_DEVICE_BY_NUMBER: {
        CMS_DeviceData device;
        const bool found = command == MSC_IOCTL_GET_DEVICE_BY_ID ? station.FindDeviceByID(call.Id(), device)
                                                                 : station.FindDeviceByNumber(call.Id(), device);
        return found && call.FullLength(RecordToXml(device, "device"));
    }
    case MSC_IOCTL_GET_GROUP_BY_ID:
    case MSC_IOCTL_GET_GROUP_BY_NUMBER: {
        CMS_ObjectGroupData group;
        const bool found = command == MSC_IOCTL_GET_GROUP_BY_ID ? station.FindGroupByID(call.Id(), group)
                                                                : station.FindGroupByNumber(call.Id(), group);
        return found && call.FullLength(RecordToXml(group, "objectgroup"));
    }

    case MSC_IOCTL_GET_OBJECT_SENSORS: {
        RecordList<CMS_ObjectSensorData> sensors;
        return station.GetObjectSensors(call.Id(), sensors) && call.FullLength(BuildListXml(sensors, "sensor"));
    }
    case MSC_IOCTL_GET_OBJECT_CLIENTS: {
        RecordList<CMS_ObjectClientData> clients;
        return station.GetObjectClients(call.Id(), clients) && call.FullLength(BuildListXml(clients, "client"));
    }
    case MSC_IOCTL_GET_OBJECT_PINS: {
        RecordList<CMS_ObjectPinData> pins;
        return station.GetObjectPins(call.Id(), pins) && call.FullLength(BuildListXml(pins, "pin"));
    }
    case MSC_IOCTL_GET_OBJECT_SCHEDULES: {
        RecordList<CMS_ObjectScheduleData> schedules;
        return station.GetObjectSchedules(call.Id(), schedules)
            && call.FullLength(BuildListXml(schedules, "schedule"));
    }
    case MSC_IOCTL_GET_OBJECT_IMAGES: {
        RecordList<CMS_ObjectImageData> images;
        return station.GetObjectImages(kImageFilterKey + int_to_text(call.Id()), images)
            && call.FullLength(BuildListXml(images, "image"));
    }

    case MSC_IOCTL_TRANSACT: {
        std::vector<uint8_t> answer;
        return station.Transact(call.InputWord(0), call.InputWord(1), static_cast<const uint8_t*>(input) + 8,
                                inputSize - 8, answer)
            && call.Raw(answer);
    }
    case MSC_IOCTL_GET_EVENTS_RAW: {
        std::vector<uint8_t> answer;
        return station.GetEventsRaw(call.InputText(), answer) && call.Raw(answer);
    }
    case MSC_IOCTL_GET_EVENTS: {
        RecordList<CMS_SimpleEventData> events;
        if (!station.GetEvents(call.InputText(), events))
            return false;
        std::vector<std::string> documents;
        documents.reserve(events.size());
        for (const auto& event : events) {
            documents.push_back(RecordToXml(*event, "event"));
            if (documents.back().empty())
                return false;
        }
        return write_event_list(documents, call);
    }

    case MSC_IOCTL_GET_DICTIONARY_TEXT:
        // A type that no document has gives the empty text, which is no failure.
        return call.CopiedLength(const_dictionaries().GetDocumentText(call.Id()));
    case MSC_IOCTL_SET_CLIENT_TYPE: {
        const int32_t clientType = call.Id();
        if (clientType != 9 && clientType != 12 && clientType != 14)
            return false;
        SetClientType(clientType);
        return true;
    }
    case MSC_IOCTL_GET_DEVICE_TESTS: {
        RecordList<CMS_DeviceTest> tests;
        return station.GetDeviceTests(call.InputText(), tests) && call.CopiedDocument(BuildListXml(tests, "test"));
    }
    case MSC_IOCTL_GET_USERS: {
        RecordList<CMS_UserData> users;
        return station.LoadUsers(users) && call.CopiedDocument(BuildListXml(users, "user"));
    }
    case MSC_IOCTL_GET_SHIFTS: {
        RecordList<CMS_ShiftData> shifts;
        return station.GetShifts(shifts) && call.CopiedDocument(BuildListXml(shifts, "shift"));
    }
    case MSC_IOCTL_GET_DEVICE_TYPES: return write_device_types(call);

    case MSC_IOCTL_ADD_OBJECT: {
        CMS_ObjectData object;
        int32_t id = 0;
        return LoadListXml(call.InputText(), "object", object) && station.AddObject(object, id) && call.Int(id);
    }
    case MSC_IOCTL_ADD_DEVICE: {
        CMS_DeviceData device;
        int32_t id = 0;
        return LoadListXml(call.InputText(), "device", device) && station.AddDevice(device, id) && call.Int(id);
    }
    case MSC_IOCTL_ADD_GROUP: {
        CMS_ObjectGroupData group;
        int32_t id = 0;
        return LoadListXml(call.InputText(), "objectgroup", group) && station.AddGroup(group, id) && call.Int(id);
    }
    case MSC_IOCTL_ADD_SENSOR: {
        CMS_ObjectSensorData sensor;
        return LoadListXml(call.OutputText(), "sensor", sensor) && station.AddSensor(call.Id(), sensor);
    }
    case MSC_IOCTL_ADD_CLIENT: {
        CMS_ObjectClientData client;
        return LoadListXml(call.OutputText(), "client", client) && station.AddClient(call.Id(), client);
    }
    case MSC_IOCTL_ADD_PIN: {
        CMS_ObjectPinData pin;
        return LoadListXml(call.OutputText(), "pin", pin) && station.AddPin(call.Id(), pin);
    }

    case MSC_IOCTL_CHANGE_OBJECT: {
        CMS_ObjectData object;
        return LoadListXml(call.InputText(), "object", object) && station.UpdateObject(object);
    }
    case MSC_IOCTL_CHANGE_DEVICE: {
        CMS_DeviceData device;
        return LoadListXml(call.InputText(), "device", device) && station.UpdateDevice(device);
    }
    case MSC_IOCTL_CHANGE_GROUP: {
        CMS_ObjectGroupData group;
        return LoadListXml(call.InputText(), "objectgroup", group) && station.UpdateGroup(group);
    }
    case MSC_IOCTL_CHANGE_SENSOR: {
        CMS_ObjectSensorData sensor;
        return LoadListXml(call.OutputText(), "sensor", sensor) && station.UpdateSensor(call.Id(), sensor);
    }
    case MSC_IOCTL_CHANGE_CLIENT: {
        CMS_ObjectClientData client;
        return LoadListXml(call.OutputText(), "client", client) && station.UpdateClient(call.Id(), client);
    }
    case MSC_IOCTL_CHANGE_PIN: {
        CMS_ObjectPinData pin;
        return LoadListXml(call.OutputText(), "pin", pin) && station.UpdatePin(call.Id(), pin);
    }

    case MSC_IOCTL_REMOVE_OBJECT: {
        CMS_ObjectData object;
        return LoadListXml(call.InputText(), "object", object) && station.RemoveObject(object.ID);
    }
    case MSC_IOCTL_REMOVE_DEVICE: {
        CMS_DeviceData device;
        return LoadListXml(call.InputText(), "device", device) && station.RemoveDevice(device.ID);
    }
    case MSC_IOCTL_REMOVE_GROUP: {
        CMS_ObjectGroupData group;
        return LoadListXml(call.InputText(), "objectgroup", group) && station.RemoveGroup(group.ID);
    }
    case MSC_IOCTL_REMOVE_SENSOR: {
        CMS_ObjectSensorData sensor;
        return LoadListXml(call.InputText(), "sensor", sensor) && station.RemoveSensor(sensor.ObjectID, sensor.ID);
    }
    case MSC_IOCTL_REMOVE_CLIENT: {
        CMS_ObjectClientData client;
        return LoadListXml(call.InputText(), "client", client) && station.RemoveClient(client.ObjectID, client.ID);
    }
    case MSC_IOCTL_REMOVE_PIN: {
        CMS_ObjectPinData pin;
        return LoadListXml(call.InputText(), "pin", pin) && station.RemovePin(pin.ObjectID, pin.ID);
    }

    case MSC_IOCTL_SEND_CONTROL:
        return station.SendControl(call.InputWord(0), call.InputWord(1), call.InputWord(2));
    case MSC_IOCTL_SEND_CONTROL_BY_ID: return station.SendControl(call.Id(), 0, 0);
    case MSC_IOCTL_POST_ITEM: {
        StationItem item;
        item.Int3 = call.InputWord(0);
        item.Int1 = call.InputWord(1);
        item.Int6 = call.InputWord(2);
        item.Text1 = call.OutputText();
        return station.PostItem(item);
    }
    default: return false;
    }
}
