#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <typeinfo>

#include "StationRecordSupport.h"
#include "XmlHelpers.h"

namespace {

using namespace record_test;

template <class T>
class StationRecordTest : public ::testing::Test
{
};

using RecordTypes = ::testing::Types<CMS_ObjectData, CMS_ObjectGroupData, CMS_ObjectSensorData, CMS_ObjectClientData,
                                     CMS_ObjectPinData, CMS_ObjectScheduleData, CMS_ObjectImageData, CMS_DeviceData,
                                     CMS_DeviceTest, CMS_ShiftData, CMS_PersonData, CMS_UserData, CMS_SimpleEventData>;
TYPED_TEST_SUITE(StationRecordTest, RecordTypes);

TYPED_TEST(StationRecordTest, RoundTripsThroughBytesAndXmlToTheSameBytes)
{
    TypeParam record;
    fill(record, 100);
    const std::string bytes = bytes_of(record);

    TypeParam from_bytes;
    ASSERT_TRUE(load_bytes(from_bytes, bytes));
    EXPECT_EQ(bytes_of(from_bytes), bytes);

    RecordElement xml;
    save_xml(record, xml);
    TypeParam from_xml;
    ASSERT_TRUE(load_xml(from_xml, xml));
    EXPECT_EQ(bytes_of(from_xml), bytes);

    TypeParam assigned;
    ASSERT_TRUE(assigned.AssignFrom(&record, 0));
    EXPECT_EQ(bytes_of(assigned), bytes);
}

TYPED_TEST(StationRecordTest, TruncatedStreamFailsWhereItEnds)
{
    TypeParam record;
    fill(record, 7);
    const std::string bytes = bytes_of(record);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        TypeParam target;
        EXPECT_FALSE(load_bytes(target, bytes.substr(0, cut))) << "cut at " << cut << " of " << bytes.size();
    }

    // A whole record reads exactly its own bytes and leaves what follows.
    CByteStream stream;
    fill_stream(stream, bytes + "tail");
    TypeParam target;
    ASSERT_TRUE(target.LoadFromStream(&stream, 0));
    EXPECT_EQ(stream.GetPosition(), static_cast<int32_t>(bytes.size()));
}

TYPED_TEST(StationRecordTest, NullArchivesAndSourcesFail)
{
    TypeParam record;
    EXPECT_FALSE(record.Load(nullptr, 0));
    EXPECT_FALSE(record.Save(nullptr));
    EXPECT_FALSE(record.LoadFromStream(nullptr, 0));
    EXPECT_FALSE(record.SaveToStream(nullptr));
    EXPECT_FALSE(record.AssignFrom(nullptr, 0));
}

TYPED_TEST(StationRecordTest, CreateNewGivesAFreshRecordOfTheSameClass)
{
    TypeParam record;
    fill(record, 3);
    std::unique_ptr<CObjectStoreXmlHelper> created = record.CreateNew();
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(typeid(*created), typeid(TypeParam));
    // Not a copy: it has the default byte form's length, not the filled one's.
    EXPECT_EQ(bytes_of(*created).size(), bytes_of(TypeParam()).size());
    EXPECT_NE(bytes_of(*created), bytes_of(record));
}

TEST(StationRecords, DefaultByteFormSizes)
{
    struct SizeCase
    {
        const char* record;
        std::function<size_t()> size;
        size_t expected;
    };
    const SizeCase cases[] = {
        {"object", [] { return bytes_of(CMS_ObjectData()).size(); }, 144},
        {"group", [] { return bytes_of(CMS_ObjectGroupData()).size(); }, 48},
        // Save puts the empty SN line "SN=" CR LF into Settings.
        {"sensor", [] { return bytes_of(CMS_ObjectSensorData()).size(); }, 81},
        {"client", [] { return bytes_of(CMS_ObjectClientData()).size(); }, 36},
        {"pin", [] { return bytes_of(CMS_ObjectPinData()).size(); }, 56},
        {"schedule", [] { return bytes_of(CMS_ObjectScheduleData()).size(); }, 48},
        {"image", [] { return bytes_of(CMS_ObjectImageData()).size(); }, 44},
        {"device", [] { return bytes_of(CMS_DeviceData()).size(); }, 68},
        {"device test", [] { return bytes_of(CMS_DeviceTest()).size(); }, 20},
        {"shift", [] { return bytes_of(CMS_ShiftData()).size(); }, 40},
        {"person", [] { return bytes_of(CMS_PersonData()).size(); }, 28},
        {"user", [] { return bytes_of(CMS_UserData()).size(); }, 57},
        {"event", [] { return bytes_of(CMS_SimpleEventData()).size(); }, 92},
    };
    for (const SizeCase& c : cases)
        EXPECT_EQ(c.size(), c.expected) << c.record;
}

TEST(StationRecords, StructVerLeadsAllButPersonAndDeviceTest)
{
    const std::string version("\x01\x00\x00\x00", 4);
    EXPECT_EQ(bytes_of(CMS_ObjectData()).substr(0, 4), version);
    EXPECT_EQ(bytes_of(CMS_UserData()).substr(0, 4), version);
    EXPECT_EQ(bytes_of(CMS_ShiftData()).substr(0, 4), version);

    CMS_PersonData person;
    person.ID = 9;
    EXPECT_EQ(bytes_of(person).substr(0, 4), std::string("\x09\x00\x00\x00", 4));
    // The version is read and not checked.
    std::string bytes = bytes_of(CMS_ObjectGroupData());
    bytes[0] = 7;
    CMS_ObjectGroupData group;
    EXPECT_TRUE(load_bytes(group, bytes));
    RecordElement xml;
    save_xml(CMS_ObjectGroupData(), xml);
    EXPECT_EQ(xml.Var("StructVer"), "1");
}

TEST(StationRecords, CopiesKeepEveryField)
{
    struct CopyCase
    {
        const char* record;
        std::function<void()> check;
    };
    auto same_bytes = [](auto sample) {
        return [sample]() mutable {
            fill(sample, 42);
            decltype(sample) copy(sample);
            EXPECT_EQ(bytes_of(copy), bytes_of(sample));
        };
    };
    const CopyCase cases[] = {
        {"object", same_bytes(CMS_ObjectData())},
        {"group", same_bytes(CMS_ObjectGroupData())},
        {"sensor", same_bytes(CMS_ObjectSensorData())},
        {"client", same_bytes(CMS_ObjectClientData())},
        {"pin", same_bytes(CMS_ObjectPinData())},
        {"schedule", same_bytes(CMS_ObjectScheduleData())},
        {"shift", same_bytes(CMS_ShiftData())},
        {"device", same_bytes(CMS_DeviceData())},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.record);
        c.check();
    }
}

TEST(StationRecords, CopiesRecomputeOrCarryTheMemoryOnlyValues)
{
    CMS_DeviceData device;
    fill(device, 1);
    device.SetChanged(1);
    CMS_DeviceData device_copy(device);
    EXPECT_EQ(device_copy.Changed, 1);
    EXPECT_EQ(device_copy.Data, device.Data);

    CMS_ObjectSensorData sensor;
    fill(sensor, 1);
    sensor.ExtraByte = 5;
    sensor.ExtraInt = 6;
    sensor.ExtraPointer = &sensor;
    CMS_ObjectSensorData sensor_copy(sensor);
    EXPECT_EQ(sensor_copy.SN, sensor.SN);
    EXPECT_EQ(sensor_copy.ExtraByte, 0);
    EXPECT_EQ(sensor_copy.ExtraInt, 0);
    EXPECT_EQ(sensor_copy.ExtraPointer, nullptr);

    CMS_ObjectClientData client;
    fill(client, 1);
    CMS_ObjectClientData client_copy(client);
    EXPECT_EQ(client_copy.Phone1, "9123456789");
    EXPECT_EQ(client_copy.CCFlMode, 2);
}

TEST(StationRecords, LoadFlagKeepsTheDynamicFields)
{
    // Each case loads the bytes of a record filled with seed 1 with flag 1 into
    // one filled with seed 2, and checks a kept field and the fields around it.
    struct FlagCase
    {
        const char* record;
        std::function<void()> check;
    };
    const FlagCase cases[] = {
        {"sensor",
         [] {
             CMS_ObjectSensorData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(target.State, 202);
             EXPECT_EQ(target.GUID, source.GUID);
         }},
        {"client",
         [] {
             CMS_ObjectClientData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(target.State, 8);
             EXPECT_EQ(target.Name, source.Name);
         }},
        {"pin",
         [] {
             CMS_ObjectPinData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(target.State, 8);
             EXPECT_EQ(target.DynamicState, 9);
             EXPECT_EQ(target.Value, "v2");
             EXPECT_EQ(target.OriginServerId, source.OriginServerId);
         }},
        {"schedule",
         [] {
             CMS_ObjectScheduleData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(target.State, 9);
             EXPECT_EQ(target.DayOfWeek, source.DayOfWeek);
         }},
        {"device",
         [] {
             CMS_DeviceData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(target.State, 7);
             EXPECT_EQ(target.CaptureDateTime, date_of(2));
             EXPECT_EQ(target.Name, source.Name);
             EXPECT_EQ(target.OriginServerId, source.OriginServerId);
             EXPECT_EQ(target.UserId, source.UserId);
         }},
        {"shift has none",
         [] {
             CMS_ShiftData source, target;
             fill(source, 1);
             fill(target, 2);
             ASSERT_TRUE(load_bytes(target, bytes_of(source), 1));
             EXPECT_EQ(bytes_of(target), bytes_of(source));
         }},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.record);
        c.check();
    }
}

TEST(StationRecords, SensorStateIsAByteWrittenAsAnInt)
{
    CMS_ObjectSensorData sensor;
    sensor.State = 200;
    const std::string bytes = bytes_of(sensor);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\xC8\x00\x00\x00", 4));
    CMS_ObjectSensorData loaded;
    ASSERT_TRUE(load_bytes(loaded, bytes));
    EXPECT_EQ(loaded.State, 200);

    // Only the low byte of a wider value is kept.
    std::string wide = bytes;
    wide[wide.size() - 3] = 1;
    ASSERT_TRUE(load_bytes(loaded, wide));
    EXPECT_EQ(loaded.State, 200);
}

TEST(StationRecords, SensorSaveBlanksTheSerialNumberInPlace)
{
    CMS_ObjectSensorData sensor;
    sensor.Settings = "Zone=1";
    sensor.SN = "AB=12'3\r\n";
    RecordElement xml;
    save_xml(sensor, xml);
    EXPECT_EQ(sensor.SN, "AB 12 3  ");
    EXPECT_EQ(sensor.Settings, "Zone=1\r\nSN=AB 12 3  \r\n");
    EXPECT_EQ(xml.Var("Settings"), "Zone=1\r\nSN=AB 12 3  \r\n");

    // Loading takes SN from Settings, trimmed, and leaves the line there.
    CMS_ObjectSensorData loaded;
    ASSERT_TRUE(load_xml(loaded, xml));
    EXPECT_EQ(loaded.SN, "AB 12 3");
    EXPECT_EQ(loaded.Settings, sensor.Settings);
}

TEST(StationRecords, SensorPriorityStates)
{
    const int priority[] = {4, 5, 6, 7, 10, 11, 12, 17, 20, 21, 23, 25, 27, 28, 29, 30, 31};
    CMS_ObjectSensorData sensor;
    for (int state = 0; state < 256; ++state) {
        sensor.State = static_cast<uint8_t>(state);
        const bool expected = std::find(std::begin(priority), std::end(priority), state) != std::end(priority);
        EXPECT_EQ(sensor.IsPriorityState(), expected) << state;
    }
}

TEST(StationRecords, DatesArePackedBytesAndSixteenHexDigits)
{
    CMS_ShiftData shift;
    shift.StartTime = PackedDateTime{9, 7, 14, 5, 3, 0xE8, 0x07, 0};
    RecordElement xml;
    save_xml(shift, xml);
    EXPECT_EQ(xml.Var("StartTime"), "09070E0503E80700");

    const std::string bytes = bytes_of(shift);
    // StructVer, ID, State, Number, UserID, Descr (empty), then StartTime.
    EXPECT_EQ(bytes.substr(24, 8), std::string("\x09\x07\x0E\x05\x03\xE8\x07\x00", 8));

    // Lower case reads alike; a missing date keeps the record's own value.
    RecordElement partial;
    ASSERT_TRUE(xml_parse_text(partial.document, "<record><var name=\"StartTime\">0102030405e8070a</var></record>"));
    partial.element = partial.document.FirstChildElement("record");
    CMS_ShiftData loaded;
    loaded.EndTime = PackedDateTime{1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(load_xml(loaded, partial));
    EXPECT_EQ(loaded.StartTime, (PackedDateTime{1, 2, 3, 4, 5, 0xE8, 7, 10}));
    EXPECT_EQ(loaded.EndTime, (PackedDateTime{1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(StationRecords, NewRecordsGetAGuidAndTheTimeNow)
{
    CMS_ObjectData a, b;
    EXPECT_EQ(a.GUID.size(), 36u);
    EXPECT_NE(a.GUID, b.GUID);
    EXPECT_EQ(a.GUID[8], '-');
    EXPECT_EQ(CMS_ObjectSensorData().GUID.size(), 36u);
    // The year of "now" sits in bytes 5 and 6.
    const PackedDateTime now = packed_local_now();
    EXPECT_EQ(CMS_DeviceData().CaptureDateTime[5], now[5]);
    EXPECT_EQ(CMS_ShiftData().EndTime[6], now[6]);
    EXPECT_EQ(CMS_DeviceTest().CreateTime, PackedDateTime{});
}

TEST(StationRecords, DataBlocks)
{
    // Object, image and device always write "Data"; no bytes for a size of 0.
    RecordElement xml;
    save_xml(CMS_ObjectImageData(), xml);
    EXPECT_EQ(xml.Var("Data"), "");

    CMS_ObjectImageData image;
    image.DataSize = 3;
    image.Data = {0x0A, 0xFF, 0x00};
    RecordElement with_data;
    save_xml(image, with_data);
    EXPECT_EQ(with_data.Var("Data"), "0AFF00");

    // Hex text shorter than the size fills the front of a zeroed block.
    RecordElement shorter;
    ASSERT_TRUE(xml_parse_text(shorter.document, "<record><var name=\"DataSize\">4</var>"
                                                 "<var name=\"Data\">abcd</var></record>"));
    shorter.element = shorter.document.FirstChildElement("record");
    CMS_ObjectImageData loaded;
    ASSERT_TRUE(load_xml(loaded, shorter));
    EXPECT_EQ(loaded.Data, (RecordBlock{0xAB, 0xCD, 0, 0}));
    // Longer text than the size does not fit.
    ASSERT_TRUE(xml_parse_text(shorter.document, "<record><var name=\"DataSize\">1</var>"
                                                 "<var name=\"Data\">abcd</var></record>"));
    shorter.element = shorter.document.FirstChildElement("record");
    EXPECT_FALSE(load_xml(loaded, shorter));

    // A size of 0 frees the block.
    image.DataSize = 0;
    ASSERT_TRUE(load_bytes(loaded, bytes_of(image)));
    EXPECT_TRUE(loaded.Data.empty());
}

TEST(StationRecords, NegativeDataSizeMovesNoBytes)
{
    CMS_DeviceData device;
    device.DataSize = -5;
    const std::string bytes = bytes_of(device);
    EXPECT_EQ(bytes.size(), 68u);
    CMS_DeviceData loaded;
    ASSERT_TRUE(load_bytes(loaded, bytes));
    EXPECT_EQ(loaded.DataSize, -5);
    EXPECT_TRUE(loaded.Data.empty());
    EXPECT_EQ(bytes_of(loaded), bytes);
}

TEST(StationRecords, DataSizeBeyondTheBytesLeftFailsTheLoad)
{
    CMS_ObjectImageData image;
    image.DataSize = 2;
    image.Data = {1, 2};
    std::string bytes = bytes_of(image);
    // DataSize is the last word before the block: make it claim far more.
    const size_t size_at = bytes.size() - 2 - 4;
    bytes.replace(size_at, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    CMS_ObjectImageData loaded;
    loaded.Data = {9};
    EXPECT_FALSE(load_bytes(loaded, bytes));
    EXPECT_TRUE(loaded.Data.empty());
}

TEST(StationRecords, ABlockShorterThanItsSizeIsNotWritten)
{
    CMS_ObjectData object;
    object.DataSize = 4;
    object.Data = {1, 2};
    CByteStream stream;
    EXPECT_FALSE(object.SaveToStream(&stream));
}

TEST(StationRecords, StoreFileNames)
{
    LibraryFolder library;
    struct StoreCase
    {
        const char* record;
        std::function<std::string()> name;
        const char* expected;  // below the library folder; "" for none
    };
    const StoreCase cases[] = {
        {"object", [] { CMS_ObjectData r; r.ID = 12; return r.GetStoreFileName(); }, "/Data/Objects/12.xml"},
        {"device", [] { CMS_DeviceData r; r.ID = -3; return r.GetStoreFileName(); }, "/Data/Devices/-3.xml"},
        {"group", [] { CMS_ObjectGroupData r; r.ID = 4; return r.GetStoreFileName(); }, "/Data/ObjectGroups/4.xml"},
        {"person", [] { CMS_PersonData r; r.ID = 5; return r.GetStoreFileName(); }, "/Data/Persons/5.xml"},
        {"user", [] { CMS_UserData r; r.ID = 6; return r.GetStoreFileName(); }, "/Data/Users/6.xml"},
        {"event", [] { CMS_SimpleEventData r; r.ID = 7; return r.GetStoreFileName(); }, "/Data/Events/7.xml"},
        {"sensor", [] { return CMS_ObjectSensorData().GetStoreFileName(); }, ""},
        {"client", [] { return CMS_ObjectClientData().GetStoreFileName(); }, ""},
        {"pin", [] { return CMS_ObjectPinData().GetStoreFileName(); }, ""},
        {"schedule", [] { return CMS_ObjectScheduleData().GetStoreFileName(); }, ""},
        {"image", [] { return CMS_ObjectImageData().GetStoreFileName(); }, ""},
        {"shift", [] { return CMS_ShiftData().GetStoreFileName(); }, ""},
        {"device test", [] { return CMS_DeviceTest().GetStoreFileName(); }, ""},
    };
    for (const StoreCase& c : cases) {
        const std::string name = c.name();
        if (*c.expected == '\0') {
            EXPECT_EQ(name, "") << c.record;
            continue;
        }
        EXPECT_EQ(name, library.Folder() + c.expected) << c.record;
        // The kind's folder is made; the file is not.
        EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(name).parent_path())) << c.record;
        EXPECT_FALSE(std::filesystem::exists(name)) << c.record;
    }

    // A folder that cannot be made gives no name.
    std::filesystem::create_directories(library.Folder() + "/plain");
    {
        std::ofstream file(library.Folder() + "/plain/Data");
    }
    platform::set_module_path_override(library.Folder() + "/plain/libArdentis.so");
    CMS_ObjectData object;
    EXPECT_EQ(object.GetStoreFileName(), "");
}

} // namespace
