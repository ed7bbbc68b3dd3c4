#pragma once

#include <cstdint>
#include <string>

#include "archive/ClientSettingsValues.h"
#include "archive/FieldTableRecord.h"

// A client (a contact person) of an object; the values from Settings come with
// ClientSettingsValues.
class CMS_ObjectClientData : public FieldTableRecord<CMS_ObjectClientData>, public ClientSettingsValues
{
public:
    CMS_ObjectClientData() = default;
    CMS_ObjectClientData(const CMS_ObjectClientData& other);

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectClientData>& Fields();

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string Settings;
    int32_t State = 0;  // dynamic

private:
    void ReadSettingsValues();
};
