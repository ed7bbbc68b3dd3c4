#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/FieldTableRecord.h"

class CByteStream;

// A user (an operator account) of the station.
class CMS_UserData : public FieldTableRecord<CMS_UserData>
{
public:
    CMS_UserData() = default;

    std::string GetStoreFileName() const override;
    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_UserData>& Fields();

    // The reader of the station's user list: the fields straight from the stream,
    // without StructVer.
    bool ReadStation(CByteStream* stream);

    int32_t ID = 0;
    int32_t Role = 0;
    int32_t Rights = 0;
    std::string Name;
    std::string Descr = "0";
    std::string Password;
    int32_t ObjectCount = 0;
    std::string Settings;
    int32_t Flags = 0;
    int32_t ClientTyp = -1;
    std::string EventFilter;
    std::string ClientFilter;
    int32_t OriginServerId = -1;

    // Memory only; the library does not fill them.
    std::array<std::vector<int32_t>, 3> Lists;
    std::array<int32_t, 4> Values{};
};
