#pragma once

#include <cstdint>
#include <string>

#include "archive/FieldTableRecord.h"

// A sensor of an object, with its serial number kept in Settings as "SN".
class CMS_ObjectSensorData : public FieldTableRecord<CMS_ObjectSensorData>
{
public:
    CMS_ObjectSensorData();
    // Through the byte form; the memory-only extras start at zero.
    CMS_ObjectSensorData(const CMS_ObjectSensorData& other);

    // Cleans SN and writes it into Settings first: both changes stay in the record.
    bool Save(CFieldArchive* archive) const override;

    // States that put a sensor at the front of a sensor list.
    bool IsPriorityState() const;

    // The fields in wire order: Load and Save both run this table.
    static const RecordFields<CMS_ObjectSensorData>& Fields();

    int32_t ID = 0;
    int32_t Number = 0;
    int32_t ObjectID = 0;
    int32_t Type = 0;
    int32_t Flags = 0;
    std::string Name;
    // Save rewrites its SN line, so saving counts as a change of the record.
    mutable std::string Settings;
    std::string GUID;
    uint8_t State = 0;  // dynamic

    // Memory only: the serial number, read from Settings on Load.
    mutable std::string SN;
    uint8_t ExtraByte = 0;
    int32_t ExtraInt = 0;
    void* ExtraPointer = nullptr;

private:
    void ReadSN();
};
