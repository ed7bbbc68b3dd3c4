#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"
#include "StringHelpers.h"

// One result of a device test; the record carries no StructVer.
class CMS_DeviceTest : public CObjectStoreXmlHelper
{
public:
    CMS_DeviceTest() = default;

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    PackedDateTime CreateTime{};
    int32_t ChannelId = 0;
    int32_t ChannelNet = 0;
    int32_t InfoValue = 0;

private:
    static const RecordFields<CMS_DeviceTest>& Fields();
};
