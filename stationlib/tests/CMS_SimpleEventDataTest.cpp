#include "records/CMS_SimpleEventData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "base/XmlHelpers.h"
#include "StationRecordSupport.h"

namespace {

using namespace record_test;

TEST(CMS_SimpleEventData, DefaultByteForm)
{
    const std::string bytes = bytes_of(CMS_SimpleEventData());
    ASSERT_EQ(bytes.size(), 92u);
    // StructVer 1, two zero dates, ID 0, then Type and SubType -1.
    const std::string leading = std::string("\x01\x00\x00\x00", 4) + std::string(16, '\0') + std::string(4, '\0') +
                                std::string("\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(bytes.substr(0, leading.size()), leading);
    // ShiftID 0 and DataSize 0 end it, with no data bytes.
    EXPECT_EQ(bytes.substr(84), std::string(8, '\0'));
}

TEST(CMS_SimpleEventData, DefaultXmlForm)
{
    RecordElement xml;
    save_xml(CMS_SimpleEventData(), xml);
    EXPECT_EQ(xml.VarCount(), 27);
    EXPECT_EQ(xml.Var("Data"), "<missing>");
    EXPECT_EQ(xml.Var("DateTime"), "0000000000000000");
    for (const char* key : {"Type", "SubType", "ServerID", "DeviceAddress", "Partition", "SensorNumber", "PinNumber",
                            "KeyNumber"})
        EXPECT_EQ(xml.Var(key), "65535") << key;
    for (const char* key : {"SourceType", "SourceID", "ChannelID", "ChannelNet", "ID", "ShiftID", "DataSize"})
        EXPECT_EQ(xml.Var(key), "0") << key;
    for (const char* key : {"DeviceNumber", "ObjectNumber"})
        EXPECT_EQ(xml.Var(key), "4294967295") << key;

    // And they read back as -1.
    CMS_SimpleEventData loaded;
    loaded.Type = 2;
    loaded.KeyNumber = 4;
    ASSERT_TRUE(load_xml(loaded, xml));
    EXPECT_EQ(loaded.Type, -1);
    EXPECT_EQ(loaded.KeyNumber, -1);
    EXPECT_EQ(loaded.DeviceNumber, -1);
}

TEST(CMS_SimpleEventData, DataBlockInBothForms)
{
    CMS_SimpleEventData event;
    ASSERT_TRUE(event.SetDataSize(3));
    EXPECT_EQ(event.Data, (RecordBlock{0, 0, 0}));
    event.Data = {0xDE, 0xAD, 0x01};
    RecordElement xml;
    save_xml(event, xml);
    EXPECT_EQ(xml.Var("Data"), "DEAD01");
    EXPECT_EQ(xml.VarCount(), 28);
    const std::string bytes = bytes_of(event);
    EXPECT_EQ(bytes.size(), 95u);
    EXPECT_EQ(bytes.substr(92), "\xDE\xAD\x01");

    CMS_SimpleEventData loaded;
    ASSERT_TRUE(load_xml(loaded, xml));
    EXPECT_EQ(loaded.Data, event.Data);

    // Loading a record without data drops the block it had.
    ASSERT_TRUE(load_bytes(loaded, bytes_of(CMS_SimpleEventData())));
    EXPECT_TRUE(loaded.Data.empty());
    EXPECT_EQ(loaded.DataSize, 0);

    loaded.FreeData();
    EXPECT_FALSE(loaded.SetDataSize(-1));
    EXPECT_EQ(loaded.DataSize, 0);
    EXPECT_TRUE(loaded.Data.empty());
}

TEST(CMS_SimpleEventData, LargeDataBlockSurvivesCopies)
{
    CMS_SimpleEventData event;
    fill(event, 4);
    ASSERT_TRUE(event.SetDataSize(40000));
    for (size_t i = 0; i < event.Data.size(); ++i)
        event.Data[i] = static_cast<uint8_t>(i * 31);
    const std::string bytes = bytes_of(event);
    EXPECT_EQ(bytes.size(), 92u + event.Info.size() + 40000u);

    CMS_SimpleEventData copy;
    ASSERT_TRUE(copy.CopyFrom(&event));
    EXPECT_EQ(copy.DataSize, 40000);
    EXPECT_EQ(copy.Data, event.Data);

    CMS_ObjectData object;
    ASSERT_TRUE(object.AddEvent(&copy, 10));
    EXPECT_EQ(bytes_of(*object.GetEvents().front()), bytes);

    RecordElement xml;
    save_xml(event, xml);
    CMS_SimpleEventData from_xml;
    ASSERT_TRUE(load_xml(from_xml, xml));
    EXPECT_EQ(bytes_of(from_xml), bytes);
}

// Every record reads its data block alike; the event stands for them all here.
TEST(CMS_SimpleEventData, OversizedOrNegativeDataSize)
{
    CMS_SimpleEventData event;
    event.Info = "x";
    std::string bytes = bytes_of(event);
    // Claim 1000 bytes with only 10 after the size word.
    bytes.replace(bytes.size() - 4, 4, std::string("\xE8\x03\x00\x00", 4));
    CMS_SimpleEventData loaded;
    loaded.Data = {9};
    EXPECT_FALSE(load_bytes(loaded, bytes + std::string(10, 'z')));
    EXPECT_TRUE(loaded.Data.empty());
    EXPECT_TRUE(load_bytes(loaded, bytes + std::string(1000, 'z')));
    EXPECT_EQ(loaded.Data, RecordBlock(1000, 'z'));

    // A negative size moves no bytes either way.
    event.DataSize = -2;
    const std::string negative = bytes_of(event);
    EXPECT_EQ(negative.size(), 93u);
    ASSERT_TRUE(load_bytes(loaded, negative));
    EXPECT_EQ(loaded.DataSize, -2);
    EXPECT_TRUE(loaded.Data.empty());
    EXPECT_EQ(bytes_of(loaded), negative);
}

TEST(CMS_SimpleEventData, SourceTypeIsAByte)
{
    CMS_SimpleEventData event;
    event.SourceType = 200;
    RecordElement xml;
    save_xml(event, xml);
    EXPECT_EQ(xml.Var("SourceType"), "200");
    CMS_SimpleEventData loaded;
    ASSERT_TRUE(load_bytes(loaded, bytes_of(event)));
    EXPECT_EQ(loaded.SourceType, 200);
    // Of a wider value only the low byte stays.
    ASSERT_TRUE(xml_set_var(xml.element, "SourceType", "513"));
    ASSERT_TRUE(load_xml(loaded, xml));
    EXPECT_EQ(loaded.SourceType, 1);
}

TEST(CMS_SimpleEventData, CopyFromCarriesTheMemoryOnlyValues)
{
    CMS_SimpleEventData source;
    fill(source, 6);
    source.LocalValues = {{1, 2, 3}};

    CMS_SimpleEventData assigned;
    ASSERT_TRUE(assigned.AssignFrom(&source, 0));
    EXPECT_EQ(bytes_of(assigned), bytes_of(source));
    EXPECT_EQ(assigned.LocalValues, (std::array<int32_t, 3>{{0, 0, 0}}));

    CMS_SimpleEventData copied;
    ASSERT_TRUE(copied.CopyFrom(&source));
    EXPECT_EQ(bytes_of(copied), bytes_of(source));
    EXPECT_EQ(copied.LocalValues, source.LocalValues);

    copied.LocalValues = {{9, 9, 9}};
    EXPECT_FALSE(copied.CopyFrom(nullptr));
    EXPECT_EQ(copied.LocalValues, (std::array<int32_t, 3>{{9, 9, 9}}));
}

TEST(CMS_SimpleEventData, StateEventAndHistoryPredicates)
{
    std::set<int> state_subtypes_of_type_2 = {4, 5};
    for (int s = 7; s <= 16; ++s)
        state_subtypes_of_type_2.insert(s);
    for (int s = 20; s <= 38; ++s)
        state_subtypes_of_type_2.insert(s);
    for (int s = 40; s <= 44; ++s)
        state_subtypes_of_type_2.insert(s);
    const std::set<int> skipped_of_type_2 = {4, 5};
    const std::set<int> skipped_of_type_3 = {20, 88, 89, 90};

    CMS_SimpleEventData event;
    for (int type : {-1, 1, 2, 3, 4}) {
        for (int subtype = -1; subtype <= 100; ++subtype) {
            event.Type = static_cast<int16_t>(type);
            event.SubType = static_cast<int16_t>(subtype);
            const bool state = type == 3 || (type == 2 && state_subtypes_of_type_2.count(subtype) != 0);
            const bool skipped = (type == 2 && skipped_of_type_2.count(subtype) != 0) ||
                                 (type == 3 && skipped_of_type_3.count(subtype) != 0);
            EXPECT_EQ(event.IsStateEvent(), state) << type << "/" << subtype;
            EXPECT_EQ(event.SkipsObjectHistory(), skipped) << type << "/" << subtype;
        }
    }
}

} // namespace
