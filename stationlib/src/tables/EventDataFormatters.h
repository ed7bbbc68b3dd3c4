#pragma once

// Formatters of event data blocks and the table that names one per event Type and
// SubType. Each takes a data block and its length and gives a Windows-1251 text;
// nothing in the library calls them.

#include <cstddef>
#include <cstdint>
#include <string>

using EventDataFormatter = std::string (*)(const void* data, int32_t length);

struct EventDataFormatterRow
{
    int32_t type;
    int32_t subType;
    EventDataFormatter formatter;  // null: the event's data has no text
};

constexpr size_t kEventDataFormatterCount = 64;
extern const EventDataFormatterRow EventDataFormatterTable[kEventDataFormatterCount];

// Length 4: the code dictionary's text for the first byte; otherwise "".
std::string FormatCodeText(const void* data, int32_t length);
// The block as a text up to its first zero byte or its end; "" for no data.
std::string FormatTextData(const void* data, int32_t length);
// The same, for blocks of at least two bytes.
std::string FormatTextDataMin2(const void* data, int32_t length);
// Length 4: "Результат: " and the text of the little-endian int32 result code.
std::string FormatFirmwareLoadResult(const void* data, int32_t length);
// The personnel record of the block: its kind, Text1 and Text2.
std::string FormatPersonnelData(const void* data, int32_t length);
