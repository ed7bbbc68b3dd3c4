#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ClientSettingsValues.h"
#include "archive/FieldTableRecord.h"

class CByteStream;

// A person known to the station; the record carries no StructVer. The values
// from Settings come with ClientSettingsValues, and PersObjects besides.
class CMS_PersonData : public FieldTableRecord<CMS_PersonData>, public ClientSettingsValues
{
public:
    CMS_PersonData() = default;

    std::string GetStoreFileName() const override;
    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_PersonData>& Fields();

    // The reader of the station's person list: the fields straight from the
    // stream, then ParsePersObjects.
    bool ReadStation(CByteStream* stream);
    // The memory-only values from Settings: the client values and the list of
    // "PersObjects" (comma-separated integers; a piece without digits gives 0).
    void ParsePersObjects();

    int32_t ID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string Settings;
    std::string Key;
    int32_t OriginServerId = -1;

    std::vector<int32_t> PersObjects;
};
