#include "records/CMS_ObjectGroupData.h"

CMS_ObjectGroupData::CMS_ObjectGroupData(const CMS_ObjectGroupData& other) : FieldTableRecord(other)
{
    AssignWhole(other);
}

const RecordFields<CMS_ObjectGroupData>& CMS_ObjectGroupData::Fields()
{
    using F = RecordField<CMS_ObjectGroupData>;
    using R = CMS_ObjectGroupData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Type", &R::Type),
        F::Text("Name", &R::Name),
        F::Text("Descr", &R::Descr),
        F::Text("Settings", &R::Settings),
        F::Int("AutoProcess", &R::AutoProcess),
        F::Int("ServerID", &R::ServerID),
        F::Int("Number", &R::Number),
        F::Int("ExternalNumber", &R::ExternalNumber),
        F::Int("OriginServerId", &R::OriginServerId),
        F::Int("UserId", &R::UserId),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_ObjectGroupData::GetStoreFileName() const
{
    return StoreFileName("ObjectGroups", ID);
}
