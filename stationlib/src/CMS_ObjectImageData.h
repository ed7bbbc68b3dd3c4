#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"

// An image of an object (a plan or a photo) with its data block.
class CMS_ObjectImageData : public CObjectStoreXmlHelper
{
public:
    CMS_ObjectImageData() = default;

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string Descr;
    std::string Settings;
    std::string Objects;
    int32_t DataSize = 0;
    RecordBlock Data;

private:
    static const RecordFields<CMS_ObjectImageData>& Fields();
};
