#include "tables/EventDataFormatters.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"
#include "records/PersonnelRecord.h"
#include "tables/EventTextTables.h"

#include <cstring>

namespace {

constexpr int32_t kCodeLength = 4;

// Stops at the block's end too: a block without a zero byte is not read past it.
std::string text_of(const void* data, int32_t length)
{
    const char* text = static_cast<const char*>(data);
    const void* zero = std::memchr(text, '\0', static_cast<size_t>(length));
    return std::string(text, zero != nullptr ? static_cast<const char*>(zero) : text + length);
}

std::string text_at_least(const void* data, int32_t length, int32_t minimum)
{
    if (data == nullptr || length < minimum)
        return std::string();
    return text_of(data, length);
}

int32_t read_le_int32(const void* data)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

} // namespace

std::string FormatCodeText(const void* data, int32_t length)
{
    if (data == nullptr || length != kCodeLength)
        return std::string();
    return const_dictionaries().GetText(*static_cast<const uint8_t*>(data));
}

std::string FormatTextData(const void* data, int32_t length)
{
    return text_at_least(data, length, 1);
}

std::string FormatTextDataMin2(const void* data, int32_t length)
{
    return text_at_least(data, length, 2);
}

std::string FormatFirmwareLoadResult(const void* data, int32_t length)
{
    if (data == nullptr || length != kCodeLength)
        return std::string();
    const int32_t code = read_le_int32(data);
    std::string text = event_texts::FirmwareResultPrefix;
    for (const CodeText& result : FirmwareLoadResults) {
        if (result.code == code)
            return text + result.text;
    }
    return text + event_texts::FirmwareOtherCodePrefix + int_to_text(code);
}

std::string FormatPersonnelData(const void* data, int32_t length)
{
    if (data == nullptr)
        return event_texts::PersonnelNoData;
    CByteStream stream;
    if (!stream.Attach(static_cast<const uint8_t*>(data), length))
        return event_texts::PersonnelStreamError;
    PersonnelRecord record;
    if (!record.Read(&stream))
        return event_texts::PersonnelReadError;
    return std::string(record.Kind != 0 ? event_texts::PersonnelService : event_texts::PersonnelObject) +
           record.Text1 + event_texts::PersonnelSeparator + record.Text2;
}

// Type 1, Type 2, Type 5, Type 3 without formatter, Type 3 with one, Type 6,
// Type 4; Type 2 SubType 39 closes the Type 2 rows.
const EventDataFormatterRow EventDataFormatterTable[kEventDataFormatterCount] = {
    {1, 0, nullptr}, {1, 1, nullptr}, {1, 2, nullptr}, {1, 3, nullptr},

    {2, 6, nullptr}, {2, 43, nullptr}, {2, 44, nullptr}, {2, 40, nullptr}, {2, 3, nullptr},
    {2, 17, nullptr}, {2, 18, nullptr}, {2, 19, nullptr}, {2, 23, nullptr}, {2, 24, nullptr},
    {2, 34, nullptr}, {2, 35, nullptr}, {2, 41, nullptr}, {2, 42, nullptr}, {2, 36, nullptr},
    {2, 27, nullptr}, {2, 28, nullptr}, {2, 29, nullptr}, {2, 30, nullptr}, {2, 31, nullptr},
    {2, 32, nullptr}, {2, 33, nullptr}, {2, 37, nullptr}, {2, 38, nullptr},
    {2, 39, FormatPersonnelData},

    {5, 0, nullptr}, {5, 1, nullptr},

    {3, 19, nullptr}, {3, 32, nullptr}, {3, 59, nullptr}, {3, 50, nullptr},

    {3, 1, FormatCodeText}, {3, 2, FormatCodeText}, {3, 96, FormatCodeText}, {3, 97, FormatCodeText},
    {3, 5, FormatCodeText}, {3, 3, FormatCodeText}, {3, 28, FormatCodeText}, {3, 4, FormatCodeText},
    {3, 91, FormatCodeText}, {3, 92, FormatCodeText}, {3, 6, FormatCodeText}, {3, 29, FormatCodeText},
    {3, 30, FormatCodeText}, {3, 93, FormatCodeText}, {3, 94, FormatCodeText},
    {3, 34, FormatTextData},
    {3, 13, FormatTextDataMin2}, {3, 14, FormatTextDataMin2}, {3, 31, FormatTextDataMin2},
    {3, 25, FormatTextDataMin2},
    {3, 95, FormatFirmwareLoadResult},

    {6, 0, nullptr}, {6, 1, nullptr},

    {4, 0, FormatTextData}, {4, 1, FormatTextData}, {4, 2, FormatTextData}, {4, 4, FormatTextData},
    {4, 5, FormatTextData}, {4, 6, FormatTextData},
};
