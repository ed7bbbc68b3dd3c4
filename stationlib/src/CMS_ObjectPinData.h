#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"

// A pin (an input or output line) of an object.
class CMS_ObjectPinData : public CObjectStoreXmlHelper
{
public:
    CMS_ObjectPinData() = default;
    CMS_ObjectPinData(const CMS_ObjectPinData& other);

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    int32_t ID = 0;
    int32_t ObjectID = 0;
    int32_t Index = 0;
    int32_t Type = 1;
    int32_t Flags = 2;
    std::string Name;
    std::string inExpr;
    std::string outExpr;
    std::string Settings;
    // Dynamic: a refresh keeps these.
    int32_t State = 0;
    int32_t DynamicState = 0;
    std::string Value;
    int32_t OriginServerId = -1;

private:
    static const RecordFields<CMS_ObjectPinData>& Fields();
};
