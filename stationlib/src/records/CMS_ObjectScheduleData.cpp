#include "records/CMS_ObjectScheduleData.h"

CMS_ObjectScheduleData::CMS_ObjectScheduleData() : Time(packed_local_now()) {}

CMS_ObjectScheduleData::CMS_ObjectScheduleData(const CMS_ObjectScheduleData& other) : FieldTableRecord(other)
{
    AssignWhole(other);
}

const RecordFields<CMS_ObjectScheduleData>& CMS_ObjectScheduleData::Fields()
{
    using F = RecordField<CMS_ObjectScheduleData>;
    using R = CMS_ObjectScheduleData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Number", &R::Number),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Settings", &R::Settings),
        F::Date("Time", &R::Time),
        F::Int("DayOfWeek", &R::DayOfWeek),
        F::Int("State", &R::State, kDynamic),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}
