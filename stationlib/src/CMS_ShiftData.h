#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CObjectStoreXmlHelper.h"
#include "RecordFieldTable.h"
#include "StringHelpers.h"

// A duty shift of the station's operators.
class CMS_ShiftData : public CObjectStoreXmlHelper
{
public:
    CMS_ShiftData();
    CMS_ShiftData(const CMS_ShiftData& other);

    bool Load(CFieldArchive* archive, int flag) override;
    bool Save(CFieldArchive* archive) const override;
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override;
    std::string GetStoreFileName() const override;

    int32_t ID = 0;
    int32_t State = 0;
    int32_t Number = 0;
    int32_t UserID = 0;
    std::string Descr;
    PackedDateTime StartTime{};
    PackedDateTime EndTime{};

private:
    static const RecordFields<CMS_ShiftData>& Fields();
};
