#include "records/CMS_ObjectClientData.h"

CMS_ObjectClientData::CMS_ObjectClientData(const CMS_ObjectClientData& other)
    : FieldTableRecord(other), ClientSettingsValues()
{
    AssignWhole(other);
}

const RecordFields<CMS_ObjectClientData>& CMS_ObjectClientData::Fields()
{
    using F = RecordField<CMS_ObjectClientData>;
    using R = CMS_ObjectClientData;
    static const RecordField<R> rows[] = {
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
    static const RecordFields<R> fields(rows);
    return fields;
}

void CMS_ObjectClientData::ReadSettingsValues()
{
    ReadClientSettings(Settings);
}
