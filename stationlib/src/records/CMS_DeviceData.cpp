#include "records/CMS_DeviceData.h"

CMS_DeviceData::CMS_DeviceData() : CaptureDateTime(packed_local_now()) {}

const RecordFields<CMS_DeviceData>& CMS_DeviceData::Fields()
{
    using F = RecordField<CMS_DeviceData>;
    using R = CMS_DeviceData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Int("ID", &R::ID),
        F::Int("Number", &R::Number),
        F::Int("Type", &R::Type),
        F::Int("Flags", &R::Flags),
        F::Text("Name", &R::Name),
        F::Text("Descr", &R::Descr),
        F::Text("Password", &R::Password),
        F::Text("Settings", &R::Settings),
        F::Text("Info", &R::Info),
        F::Text("SignalInfo", &R::SignalInfo),
        F::Int("DataSize", &R::DataSize),
        F::Block("Data", &R::DataSize, &R::Data),
        F::Int("State", &R::State, kDynamic),
        F::Date("CaptureDateTime", &R::CaptureDateTime, kDynamic),
        F::Int("OriginServerId", &R::OriginServerId),
        F::Int("UserId", &R::UserId),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_DeviceData::GetStoreFileName() const
{
    return StoreFileName("Devices", ID);
}
