#pragma once

// The library's constant event and state texts, in Windows-1251. The build
// converts them from stationlib/resources/text/EventTexts.txt; nothing in the
// library reads them, they are carried as the station's vocabulary.

#include <cstddef>
#include <cstdint>

struct CodeText
{
    int32_t code;
    const char* text;
};

// One panel event code with the station events it stands for (0, 0: none).
struct DeviceEventRow
{
    int32_t code;
    const char* text;
    const char* text2;  // empty in every row
    int32_t firstType;
    int32_t firstSubType;
    int32_t secondType;
    int32_t secondSubType;
    int32_t unused;
};

constexpr size_t kContactIdTextSize = 128;

// The fixed 268-byte row; each text is zero-filled to its end.
struct ContactIdEventRow
{
    int32_t code;  // row position + 1
    int32_t value1;  // -1 in every row
    int32_t value2;  // -1 in every row
    char russian[kContactIdTextSize];
    char english[kContactIdTextSize];
};
static_assert(sizeof(ContactIdEventRow) == 268, "the Contact ID row keeps its 268-byte form");

constexpr size_t kResponseCrewStateCount = 7;
constexpr size_t kObjectStateCount = 19;
constexpr size_t kDeviceEventCount = 53;
constexpr size_t kContactIdEventCount = 700;
constexpr size_t kFirmwareLoadResultCount = 15;

// Code = position.
extern const CodeText ResponseCrewStateNames[kResponseCrewStateCount];
extern const CodeText ObjectStateNames[kObjectStateCount];
extern const DeviceEventRow DeviceEventTable[kDeviceEventCount];
extern const ContactIdEventRow ContactIdEventTable[kContactIdEventCount];
// The texts of the firmware load result codes that have one.
extern const CodeText FirmwareLoadResults[kFirmwareLoadResultCount];

// Texts of the formatters and the event filter template.
namespace event_texts {
extern const char FirmwareResultPrefix[];
extern const char FirmwareOtherCodePrefix[];
extern const char PersonnelNoData[];
extern const char PersonnelStreamError[];
extern const char PersonnelReadError[];
extern const char PersonnelService[];
extern const char PersonnelObject[];
extern const char PersonnelSeparator[];
extern const char EventFilterTemplate[];
} // namespace event_texts
