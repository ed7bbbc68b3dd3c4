#include "records/CMS_SimpleEventData.h"

#include <new>

namespace {

bool in_range(int value, int low, int high)
{
    return value >= low && value <= high;
}

} // namespace

const RecordFields<CMS_SimpleEventData>& CMS_SimpleEventData::Fields()
{
    using F = RecordField<CMS_SimpleEventData>;
    using R = CMS_SimpleEventData;
    static const RecordField<R> rows[] = {
        F::Version(),
        F::Date("DateTime", &R::DateTime),
        F::Date("CreateDateTime", &R::CreateDateTime),
        F::Int("ID", &R::ID),
        F::Short("Type", &R::Type),
        F::Short("SubType", &R::SubType),
        F::Int("DeviceID", &R::DeviceID),
        F::Int("ObjectID", &R::ObjectID),
        F::Int("ObjectGroupID", &R::ObjectGroupID),
        F::Int("MessageID", &R::MessageID),
        F::Text("Info", &R::Info),
        F::Int("ObjectState", &R::ObjectState),
        F::Int("ObjectStateChange", &R::ObjectStateChange),
        F::ByteAsShort("SourceType", &R::SourceType),
        F::Short("SourceID", &R::SourceID),
        F::Short("ChannelID", &R::ChannelID),
        F::Short("ChannelNet", &R::ChannelNet),
        F::Short("ServerID", &R::ServerID),
        F::Short("DeviceAddress", &R::DeviceAddress),
        F::Short("Partition", &R::Partition),
        F::Int("DeviceNumber", &R::DeviceNumber),
        F::Int("ObjectNumber", &R::ObjectNumber),
        F::Short("SensorNumber", &R::SensorNumber),
        F::Short("PinNumber", &R::PinNumber),
        F::Short("KeyNumber", &R::KeyNumber),
        F::Int("ShiftID", &R::ShiftID),
        F::Int("DataSize", &R::DataSize),
        F::BlockIfAny("Data", &R::DataSize, &R::Data),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}

std::string CMS_SimpleEventData::GetStoreFileName() const
{
    return StoreFileName("Events", ID);
}

bool CMS_SimpleEventData::CopyFrom(const CMS_SimpleEventData* other)
{
    if (other == nullptr || !AssignFrom(other, 0))
        return false;
    LocalValues = other->LocalValues;
    return true;
}

bool CMS_SimpleEventData::SetDataSize(int32_t n)
{
    FreeData();
    if (n < 0)
        return false;
    try {
        Data.assign(static_cast<size_t>(n), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    DataSize = n;
    return true;
}

void CMS_SimpleEventData::FreeData()
{
    RecordBlock().swap(Data);
    DataSize = 0;
}

bool CMS_SimpleEventData::IsStateEvent() const
{
    if (Type == kSensorEvent)
        return true;
    if (Type != kObjectEvent)
        return false;
    return in_range(SubType, 4, 5) || in_range(SubType, 7, 16) || in_range(SubType, 20, 38) ||
           in_range(SubType, 40, 44);
}

bool CMS_SimpleEventData::SkipsObjectHistory() const
{
    if (Type == kObjectEvent)
        return SubType == 4 || SubType == 5;
    if (Type == kSensorEvent)
        return SubType == 20 || in_range(SubType, 88, 90);
    return false;
}
