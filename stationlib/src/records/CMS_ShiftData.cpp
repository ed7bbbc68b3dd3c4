#include "records/CMS_ShiftData.h"

CMS_ShiftData::CMS_ShiftData() : StartTime(packed_local_now()), EndTime(StartTime) {}

CMS_ShiftData::CMS_ShiftData(const CMS_ShiftData& other) : FieldTableRecord(other)
{
    AssignWhole(other);
}

const RecordFields<CMS_ShiftData>& CMS_ShiftData::Fields()
{
    using F = RecordField<CMS_ShiftData>;
    using R = CMS_ShiftData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("State", &R::State),
        F::Int("Number", &R::Number),
        F::Int("UserID", &R::UserID),
        F::Text("Descr", &R::Descr),
        F::Date("StartTime", &R::StartTime),
        F::Date("EndTime", &R::EndTime),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}
