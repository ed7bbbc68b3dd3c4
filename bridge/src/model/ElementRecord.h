#pragma once

// The byte form of one element on the video-system link (little-endian, packed):
//   level (uint8) | ID | Group | ObjectID | Type | state level | State | Number
//   (int32 each) | N (uint32) | N bytes of the UTF-8 name, no terminator

#include "model/KorvelElement.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The element's depth in the tree, as the link carries it.
enum ElementLevel : uint8_t
{
    LEVEL_GROUP = 1,
    LEVEL_OBJECT = 2,
    LEVEL_SENSOR = 3,
};

// Bytes of a record before its name.
constexpr size_t kElementRecordFixedSize = 33;

// One record as read back from the link.
struct ElementRecord
{
    uint8_t level = 0;
    int32_t ID = 0;
    int32_t Group = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t StateLevel = 0;
    int32_t State = 0;
    int32_t Number = 0;
    std::string Name;
};

// Appends the element's record with the given level byte. The element must not
// be null.
void append_element_record(const KorvelElementPtr& element, uint8_t level, std::vector<uint8_t>& out);

// Reads the record at offset and moves offset past it. False, with offset
// unchanged, when the bytes end inside the record.
bool read_element_record(const uint8_t* data, size_t size, size_t& offset, ElementRecord& record);
