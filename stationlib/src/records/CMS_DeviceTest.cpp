#include "records/CMS_DeviceTest.h"

const RecordFields<CMS_DeviceTest>& CMS_DeviceTest::Fields()
{
    using F = RecordField<CMS_DeviceTest>;
    using R = CMS_DeviceTest;
    static const RecordField<R> rows[] = {
        F::Date("CreateTime", &R::CreateTime),
        F::Int("ChannelId", &R::ChannelId),
        F::Int("ChannelNet", &R::ChannelNet),
        F::Int("InfoValue", &R::InfoValue),
    };
    static const RecordFields<R> fields(rows);
    return fields;
}
