#include "CMS_ObjectGroupData.h"

CMS_ObjectGroupData::CMS_ObjectGroupData(const CMS_ObjectGroupData& other) : CObjectStoreXmlHelper(other)
{
    AssignFrom(&other, 0);
}

const RecordFields<CMS_ObjectGroupData>& CMS_ObjectGroupData::Fields()
{
    using F = RecordField<CMS_ObjectGroupData>;
    using R = CMS_ObjectGroupData;
    static const RecordFields<R> fields = {
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
    return fields;
}

bool CMS_ObjectGroupData::Load(CFieldArchive* archive, int flag)
{
    return load_record_fields(Fields(), *this, archive, flag, LoadSource());
}

bool CMS_ObjectGroupData::Save(CFieldArchive* archive) const
{
    return save_record_fields(Fields(), *this, archive);
}

std::unique_ptr<CObjectStoreXmlHelper> CMS_ObjectGroupData::CreateNew() const
{
    return std::make_unique<CMS_ObjectGroupData>();
}

std::string CMS_ObjectGroupData::GetStoreFileName() const
{
    return StoreFileName("ObjectGroups", ID);
}
