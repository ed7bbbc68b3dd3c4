#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ClientSettingsValues.h"
#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"

class CByteStream;

// A person known to the station; the record carries no StructVer. The values
// from Settings come with ClientSettingsValues, and PersObjects besides.
class CMS_PersonData : public CObjectStoreXmlHelper, public ClientSettingsValues
{
public:
    CMS_PersonData() = default;

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

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

private:
    static const RecordFields<CMS_PersonData>& Fields();
};
