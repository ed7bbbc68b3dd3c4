// The station's answers and notifications as a client instance reads them: every
// list answer (objects, sensors, clients, pins, schedules, images, groups,
// devices, users, persons, events, shifts, device tests, items), the login answer
// and the constant documents go through the instance's connection and its IOCtrl
// commands, which render them as documents; notifications go through the worker's
// dispatch into the caches and the event queue.
//
// Answers travel for real: a station simulator on loopback answers every request
// with the input's body, in frames of a size the input picks.
//
// Input: the body, then (read from the end) the kind of answer, the frame size
// and a byte of options.

#include "FuzzSupport.h"

#include "StationSimulator.h"

#include "base/CByteStream.h"
#include "base/Timeouts.h"
#include "client/CMS_HelperClientLib.h"
#include "client/CMS_ServerClient.h"
#include "dictionaries/CMS_ConstAdapters.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"
#include "records/PersonnelRecord.h"
#include "wire/StationNotifyCode.h"
#include "wire/StationRequestCode.h"

#include "Ardentis.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using stationsim::StationReply;
using stationsim::StationRequest;

constexpr int32_t kRequestCodes[] = {
    kRequestLogin, kRequestLoadObjects, kRequestAddObject, kRequestGetObjectSensors, kRequestGetObjectClients,
    kRequestLoadAllPins, kRequestGetObjectPins, kRequestLoadDevices, kRequestLoadGroups, kRequestLoadUsers,
    kRequestGetEvents, kRequestTransact, kRequestPostItem, kRequestLoadPersons, kRequestGetObjectImages,
    kRequestGetObjectSchedules, kRequestGetShifts, kRequestLoadConstDevices, kRequestLoadConstAdapters,
    kRequestLoadConstDictionaries, kRequestGetDeviceTests,
};

struct Harness
{
    fuzzsupport::LibrarySandbox sandbox{"answers"};
    stationsim::StationSimulator station;
    std::unique_ptr<CMS_HelperClientLib> instance;

    std::mutex replyLock;
    StationReply reply;

    Harness()
    {
        // An answer that never comes costs a second, not a minute.
        Timeouts::SetScaleForTests(60);
        // Answers come in many small frames; each would wait for an ack.
        station.SetNoDelay(true);
        FUZZ_CHECK(station.Start(), "the station simulator does not start");
        for (int32_t code : kRequestCodes)
            station.SetHandler(code, [this](const StationRequest&) {
                std::lock_guard<std::mutex> lock(replyLock);
                return reply;
            });
        instance = std::make_unique<CMS_HelperClientLib>();
        instance->Init(6, "fuzz", nullptr, -1);
        CMS_ServerClient& connection = instance->GetServerClient();
        connection.SetHost("127.0.0.1");
        connection.SetPort(station.GetPort());
    }

    void SetReply(StationReply next)
    {
        std::lock_guard<std::mutex> lock(replyLock);
        reply = std::move(next);
    }
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds list answers, the login answer and notifications through a client instance.")

namespace {

// One IOCtrl call with a 32-bit word as input.
bool io_ctrl(int32_t command, int32_t word, std::vector<char>& output)
{
    int32_t length = 0;
    return harness->instance->IOCtrl(command, &word, sizeof word, output.data(),
                                     static_cast<int32_t>(output.size()), &length);
}

bool io_ctrl_text(int32_t command, const std::string& text, std::vector<char>& output)
{
    int32_t length = 0;
    return harness->instance->IOCtrl(command, text.c_str(), static_cast<int32_t>(text.size() + 1), output.data(),
                                     static_cast<int32_t>(output.size()), &length);
}

// Each identifier a list command hands out, looked up and rendered.
void render_by_ids(int32_t idsCommand, int32_t byIdCommand, std::vector<char>& output)
{
    std::vector<char> ids(4 * 64);
    int32_t length = 0;
    if (!harness->instance->IOCtrl(idsCommand, nullptr, 0, ids.data(), static_cast<int32_t>(ids.size()), &length))
        return;
    for (int32_t at = 0; at + 4 <= length; at += 4) {
        int32_t id = 0;
        std::memcpy(&id, ids.data() + at, sizeof id);
        io_ctrl(byIdCommand, id, output);
    }
}

void render_events(CMS_ServerClient& connection, const std::vector<char>& filter)
{
    RecordList<CMS_SimpleEventData> events;
    if (!connection.GetEvents(std::string(filter.data()), events))
        return;
    for (const auto& event : events) {
        // An event's data may carry a personnel record.
        if (event->DataSize > 0 && !event->Data.empty()) {
            CByteStream data;
            data.Attach(event->Data.data(), static_cast<int32_t>(event->Data.size()));
            PersonnelRecord personnel;
            personnel.Read(&data);
        }
        connection.ApplyEventToObject(*event, 10, nullptr);
        CMS_HelperClientLib::RecordToXml(*event, "event");
    }
}

void ask(int kind, uint8_t option, std::vector<char>& output)
{
    CMS_HelperClientLib& instance = *harness->instance;
    CMS_ServerClient& connection = instance.GetServerClient();
    const std::vector<char> filter{'e', 'v', 'e', 'n', 't', '_', 't', 'y', 'p', 'e', '=', '3', 0};
    const int32_t objectId = option;

    switch (kind) {
    case 0:
        connection.Login(option % 2 ? 3 : 6, 1, 2, "operator", "secret");
        io_ctrl(MSC_IOCTL_GET_LOGIN_VALUE, 0, output);
        break;
    case 1:
        connection.LoadObjects();
        render_by_ids(MSC_IOCTL_GET_OBJECT_IDS, MSC_IOCTL_GET_OBJECT_BY_ID, output);
        io_ctrl(MSC_IOCTL_GET_OBJECT_BY_NUMBER, objectId, output);
        io_ctrl(MSC_IOCTL_GET_OBJECT_BY_DEVICE, objectId, output);
        break;
    case 2:
        connection.LoadAllPins();
        for (int32_t i = 0; i < connection.GetPinCount(); ++i) {
            CMS_ObjectPinData pin;
            if (connection.GetPinAt(i, pin))
                CMS_HelperClientLib::RecordToXml(pin, "pin");
        }
        break;
    case 3:
        connection.LoadDevices();
        render_by_ids(MSC_IOCTL_GET_DEVICE_IDS, MSC_IOCTL_GET_DEVICE_BY_ID, output);
        io_ctrl(MSC_IOCTL_GET_DEVICE_BY_NUMBER, objectId, output);
        break;
    case 4:
        connection.LoadGroups();
        render_by_ids(MSC_IOCTL_GET_GROUP_IDS, MSC_IOCTL_GET_GROUP_BY_ID, output);
        io_ctrl(MSC_IOCTL_GET_GROUP_BY_NUMBER, objectId, output);
        break;
    case 5: connection.LoadUsers(); break;
    case 6: io_ctrl(MSC_IOCTL_GET_USERS, 0, output); break;
    case 7: connection.LoadPersons(); break;
    case 8: io_ctrl(MSC_IOCTL_GET_OBJECT_SENSORS, objectId, output); break;
    case 9: io_ctrl(MSC_IOCTL_GET_OBJECT_CLIENTS, objectId, output); break;
    case 10: io_ctrl(MSC_IOCTL_GET_OBJECT_PINS, objectId, output); break;
    case 11: io_ctrl(MSC_IOCTL_GET_OBJECT_SCHEDULES, objectId, output); break;
    case 12: io_ctrl(MSC_IOCTL_GET_OBJECT_IMAGES, objectId, output); break;
    case 13: io_ctrl_text(MSC_IOCTL_GET_EVENTS, filter.data(), output); break;
    case 14: render_events(connection, filter); break;
    case 15: io_ctrl_text(MSC_IOCTL_GET_EVENTS_RAW, filter.data(), output); break;
    case 16: io_ctrl_text(MSC_IOCTL_GET_DEVICE_TESTS, filter.data(), output); break;
    case 17: io_ctrl(MSC_IOCTL_GET_SHIFTS, 0, output); break;
    case 18:
        connection.LoadConstDevices(const_devices());
        io_ctrl(MSC_IOCTL_GET_DEVICE_TYPES, 0, output);
        break;
    case 19: connection.LoadConstAdapters(const_adapters()); break;
    case 20: {
        CMS_ConstDictionaries& dictionaries = const_dictionaries();
        connection.LoadConstDictionaries(dictionaries);
        io_ctrl(MSC_IOCTL_GET_DICTIONARY_TEXT, option % 16, output);
        for (int code = 0; code < 256; ++code)
            dictionaries.GetText(static_cast<uint8_t>(code));
        uint32_t clear = 0;
        uint32_t set = 0;
        dictionaries.GetStateMasks(3, option, clear, set);
        break;
    }
    case 21: {
        const int32_t words[3] = {1, 2, 3};
        int32_t length = 0;
        instance.IOCtrl(MSC_IOCTL_TRANSACT, words, sizeof words, output.data(), static_cast<int32_t>(output.size()),
                        &length);
        break;
    }
    case 22: {
        const int32_t words[3] = {1, 2, 3};
        output[0] = 0;
        int32_t length = 0;
        instance.IOCtrl(MSC_IOCTL_POST_ITEM, words, sizeof words, output.data(), static_cast<int32_t>(output.size()),
                        &length);
        break;
    }
    case 23: {
        int32_t id = 0;
        connection.AddObject(CMS_ObjectData(), id);
        break;
    }
    default: break;
    }
}

// The worker's handling of a notification, and the host reading what it queued.
void notify(uint8_t option, const std::string& body)
{
    CMS_HelperClientLib& instance = *harness->instance;
    CByteStream stream;
    stream.Attach(reinterpret_cast<const uint8_t*>(body.data()), static_cast<int32_t>(body.size()));
    instance.DispatchNotification(&instance.GetServerClient(), kNotifyObjectAdded + option % 18, stream);
    static char document[65536];
    while (instance.ReadEvent(document, sizeof document)) {
    }
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 24);
    const uint8_t frame = input.ConsumeIntegral<uint8_t>();
    const uint8_t option = input.ConsumeIntegral<uint8_t>();
    const std::string body = input.ConsumeRemainingBytesAsString();

    CMS_HelperClientLib& instance = *harness->instance;
    CMS_ServerClient& connection = instance.GetServerClient();
    // Each input starts from empty caches.
    connection.ClearObjects();
    connection.ClearPins();
    connection.ClearDevices();
    connection.ClearGroups();
    connection.ClearUsers();
    connection.ClearPersons();
    connection.ClearItems();

    if (kind == 24) {
        notify(option, body);
        return 0;
    }

    if (!connection.IsConnected())
        FUZZ_CHECK(connection.Connect(2), "cannot connect to the station simulator");
    // Frames from the smallest the station may send up to the library's own size.
    harness->station.SetFrameSize(frame == 0 ? 8192 : 29 + frame * 16);
    if (option & 0x80)
        harness->SetReply(StationReply::Refusal(body));
    else
        harness->SetReply(StationReply::Success(std::vector<uint8_t>(body.begin(), body.end())));

    // Large enough for whole lists, or small enough to cut them.
    std::vector<char> output(option & 0x40 ? 1 + option % 32 : 65536);
    ask(kind, option & 0x3F, output);
    return 0;
}
