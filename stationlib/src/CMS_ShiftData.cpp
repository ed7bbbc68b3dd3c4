#include "CMS_ShiftData.h"

CMS_ShiftData::CMS_ShiftData() : StartTime(packed_local_now()), EndTime(StartTime) {}

CMS_ShiftData::CMS_ShiftData(const CMS_ShiftData& other) : CObjectStoreXmlHelper(other)
{
    AssignFrom(&other, 0);
}

const RecordFields<CMS_ShiftData>& CMS_ShiftData::Fields()
{
    using F = RecordField<CMS_ShiftData>;
    using R = CMS_ShiftData;
    static const RecordFields<R> fields = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("State", &R::State),
        F::Int("Number", &R::Number),
        F::Int("UserID", &R::UserID),
        F::Text("Descr", &R::Descr),
        F::Date("StartTime", &R::StartTime),
        F::Date("EndTime", &R::EndTime),
    };
    return fields;
}

bool CMS_ShiftData::Load(CFieldArchive* archive, int flag)
{
    return load_record_fields(Fields(), *this, archive, flag, LoadSource());
}

bool CMS_ShiftData::Save(CFieldArchive* archive) const
{
    return save_record_fields(Fields(), *this, archive);
}

std::unique_ptr<CObjectStoreXmlHelper> CMS_ShiftData::CreateNew() const
{
    return std::make_unique<CMS_ShiftData>();
}

std::string CMS_ShiftData::GetStoreFileName() const
{
    return std::string();
}
