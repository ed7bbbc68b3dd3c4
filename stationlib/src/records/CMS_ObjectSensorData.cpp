#include "records/CMS_ObjectSensorData.h"

#include "base/StringHelpers.h"

CMS_ObjectSensorData::CMS_ObjectSensorData() : GUID(new_guid_string()) {}

CMS_ObjectSensorData::CMS_ObjectSensorData(const CMS_ObjectSensorData& other) : FieldTableRecord(other)
{
    AssignWhole(other);
    ExtraByte = 0;
    ExtraInt = 0;
    ExtraPointer = nullptr;
}

const RecordFields<CMS_ObjectSensorData>& CMS_ObjectSensorData::Fields()
{
    using F = RecordField<CMS_ObjectSensorData>;
    using R = CMS_ObjectSensorData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Number", &R::Number),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Settings", &R::Settings),
        F::Then(&R::ReadSN),
        F::Text("GUID", &R::GUID),
        F::ByteAsInt("State", &R::State, kDynamic),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

bool CMS_ObjectSensorData::Save(CFieldArchive* archive) const
{
    if (archive == nullptr)
        return false;
    // The SN must not break its own settings line.
    blank_special_chars(SN, true, true);
    settings_set(Settings, "SN", SN.c_str());
    return FieldTableRecord::Save(archive);
}

bool CMS_ObjectSensorData::IsPriorityState() const
{
    switch (State) {
    case 4: case 5: case 6: case 7:
    case 10: case 11: case 12:
    case 17: case 20: case 21: case 23: case 25:
    case 27: case 28: case 29: case 30: case 31:
        return true;
    default:
        return false;
    }
}

void CMS_ObjectSensorData::ReadSN()
{
    SN = settings_get(Settings, "SN", std::string());
}
