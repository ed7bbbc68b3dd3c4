#include "CMS_DeviceTest.h"

const RecordFields<CMS_DeviceTest>& CMS_DeviceTest::Fields()
{
    using F = RecordField<CMS_DeviceTest>;
    using R = CMS_DeviceTest;
    static const RecordFields<R> fields = {
        F::Date("CreateTime", &R::CreateTime),
        F::Int("ChannelId", &R::ChannelId),
        F::Int("ChannelNet", &R::ChannelNet),
        F::Int("InfoValue", &R::InfoValue),
    };
    return fields;
}

bool CMS_DeviceTest::Load(CFieldArchive* archive, int flag)
{
    return load_record_fields(Fields(), *this, archive, flag, LoadSource());
}

bool CMS_DeviceTest::Save(CFieldArchive* archive) const
{
    return save_record_fields(Fields(), *this, archive);
}

std::unique_ptr<CObjectStoreXmlHelper> CMS_DeviceTest::CreateNew() const
{
    return std::make_unique<CMS_DeviceTest>();
}

std::string CMS_DeviceTest::GetStoreFileName() const
{
    return std::string();
}
