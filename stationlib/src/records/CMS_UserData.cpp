#include "records/CMS_UserData.h"

#include "archive/CFieldArchive.h"
#include "base/CByteStream.h"

const RecordFields<CMS_UserData>& CMS_UserData::Fields()
{
    using F = RecordField<CMS_UserData>;
    using R = CMS_UserData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Role", &R::Role),
        F::Int("Rights", &R::Rights),
        F::Text("Name", &R::Name),
        F::Text("Descr", &R::Descr),
        F::Text("Password", &R::Password),
        F::Int("ObjectCount", &R::ObjectCount),
        F::Text("Settings", &R::Settings),
        F::Int("Flags", &R::Flags),
        F::Int("ClientTyp", &R::ClientTyp),
        F::Text("EventFilter", &R::EventFilter),
        F::Text("ClientFilter", &R::ClientFilter),
        F::Int("OriginServerId", &R::OriginServerId),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_UserData::GetStoreFileName() const
{
    return StoreFileName("Users", ID);
}

bool CMS_UserData::ReadStation(CByteStream* stream)
{
    if (stream == nullptr)
        return false;
    CFieldArchive archive(stream);
    return load_record_fields(Fields(), *this, &archive, 0, stream, false);
}
