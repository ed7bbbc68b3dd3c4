#include "CMS_ObjectClientData.h"

CMS_ObjectClientData::CMS_ObjectClientData(const CMS_ObjectClientData& other)
    : CObjectStoreXmlHelper(other), ClientSettingsValues()
{
    AssignFrom(&other, 0);
}

const RecordFields<CMS_ObjectClientData>& CMS_ObjectClientData::Fields()
{
    using F = RecordField<CMS_ObjectClientData>;
    using R = CMS_ObjectClientData;
    static const RecordFields<R> fields = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Number", &R::Number),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Settings", &R::Settings),
        F::Then(&R::ReadSettingsValues),
        F::Int("State", &R::State, kDynamic),
    };
    return fields;
}

bool CMS_ObjectClientData::Load(CFieldArchive* archive, int flag)
{
    return load_record_fields(Fields(), *this, archive, flag, LoadSource());
}

bool CMS_ObjectClientData::Save(CFieldArchive* archive) const
{
    return save_record_fields(Fields(), *this, archive);
}

std::unique_ptr<CObjectStoreXmlHelper> CMS_ObjectClientData::CreateNew() const
{
    return std::make_unique<CMS_ObjectClientData>();
}

std::string CMS_ObjectClientData::GetStoreFileName() const
{
    return std::string();
}

void CMS_ObjectClientData::ReadSettingsValues()
{
    ReadClientSettings(Settings);
}
