#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <regex>
#include <string>
#include <typeinfo>

#include "base/XmlHelpers.h"
#include "StationRecordSupport.h"

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
    const TypeParam copy(record);
    EXPECT_EQ(bytes_of(copy), bytes);
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

// What a refresh (a non-zero load flag) keeps of the record it loads into: the
// dynamic fields. The event has none and ignores the flag.
void keep_dynamic(CMS_ObjectData& to, const CMS_ObjectData& from)
{
    to.State = from.State;
    to.StateMask = from.StateMask;
    to.DynamicState = from.DynamicState;
    to.MessageID = from.MessageID;
    to.Key = from.Key;
    to.CaptureDateTime = from.CaptureDateTime;
}

void keep_dynamic(CMS_ObjectSensorData& to, const CMS_ObjectSensorData& from)
{
    to.State = from.State;
}

void keep_dynamic(CMS_ObjectClientData& to, const CMS_ObjectClientData& from)
{
    to.State = from.State;
}

void keep_dynamic(CMS_ObjectPinData& to, const CMS_ObjectPinData& from)
{
    to.State = from.State;
    to.DynamicState = from.DynamicState;
    to.Value = from.Value;
}

void keep_dynamic(CMS_ObjectScheduleData& to, const CMS_ObjectScheduleData& from)
{
    to.State = from.State;
}

void keep_dynamic(CMS_DeviceData& to, const CMS_DeviceData& from)
{
    to.State = from.State;
    to.CaptureDateTime = from.CaptureDateTime;
}

template <class T>
void keep_dynamic(T&, const T&)
{
}

TYPED_TEST(StationRecordTest, LoadFlagKeepsTheDynamicFieldsInBothForms)
{
    TypeParam source;
    fill(source, 1);
    const std::string bytes = bytes_of(source);
    RecordElement xml;
    save_xml(source, xml);

    TypeParam before;
    fill(before, 2);
    // Every field from the source but the dynamic ones, which stay as they were.
    TypeParam expected;
    ASSERT_TRUE(load_bytes(expected, bytes));
    keep_dynamic(expected, before);

    TypeParam from_bytes;
    fill(from_bytes, 2);
    ASSERT_TRUE(load_bytes(from_bytes, bytes, 1));
    EXPECT_EQ(bytes_of(from_bytes), bytes_of(expected));

    TypeParam from_xml;
    fill(from_xml, 2);
    ASSERT_TRUE(load_xml(from_xml, xml, 1));
    EXPECT_EQ(bytes_of(from_xml), bytes_of(expected));
}

template <class T>
size_t default_size()
{
    return bytes_of(T()).size();
}

TEST(StationRecords, DefaultByteFormSizes)
{
    const struct
    {
        const char* record;
        size_t (*size)();
        size_t expected;
    } cases[] = {
        {"object", default_size<CMS_ObjectData>, 144},
        {"group", default_size<CMS_ObjectGroupData>, 48},
        // Save puts the empty SN line "SN=" CR LF into Settings.
        {"sensor", default_size<CMS_ObjectSensorData>, 81},
        {"client", default_size<CMS_ObjectClientData>, 36},
        {"pin", default_size<CMS_ObjectPinData>, 56},
        {"schedule", default_size<CMS_ObjectScheduleData>, 48},
        {"image", default_size<CMS_ObjectImageData>, 44},
        {"device", default_size<CMS_DeviceData>, 68},
        {"device test", default_size<CMS_DeviceTest>, 20},
        {"shift", default_size<CMS_ShiftData>, 40},
        {"person", default_size<CMS_PersonData>, 28},
        {"user", default_size<CMS_UserData>, 57},
        {"event", default_size<CMS_SimpleEventData>, 92},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.size(), c.expected) << c.record;
}

template <class T>
std::string default_var(const char* key)
{
    RecordElement xml;
    save_xml(T(), xml);
    return xml.Var(key);
}

TEST(StationRecords, DefaultValuesThatAreNotZero)
{
    const struct
    {
        const char* record;
        std::string (*var)(const char*);
        const char* key;
        const char* expected;
    } cases[] = {
        {"object", default_var<CMS_ObjectData>, "Key", "4294967295"},
        {"object", default_var<CMS_ObjectData>, "OriginServerId", "4294967295"},
        {"group", default_var<CMS_ObjectGroupData>, "OriginServerId", "4294967295"},
        {"sensor", default_var<CMS_ObjectSensorData>, "Settings", "SN=\r\n"},
        {"pin", default_var<CMS_ObjectPinData>, "Type", "1"},
        {"pin", default_var<CMS_ObjectPinData>, "Flags", "2"},
        {"pin", default_var<CMS_ObjectPinData>, "OriginServerId", "4294967295"},
        {"device", default_var<CMS_DeviceData>, "Type", "1000"},
        {"device", default_var<CMS_DeviceData>, "OriginServerId", "4294967295"},
        {"person", default_var<CMS_PersonData>, "OriginServerId", "4294967295"},
        {"user", default_var<CMS_UserData>, "Descr", "0"},
        {"user", default_var<CMS_UserData>, "ClientTyp", "4294967295"},
        {"user", default_var<CMS_UserData>, "OriginServerId", "4294967295"},
        {"device test", default_var<CMS_DeviceTest>, "CreateTime", "0000000000000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.var(c.key), c.expected) << c.record << " " << c.key;
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

// Settings as long as the station sends them gain the SN line on saving, so a
// copy through the byte form carries a string longer than the station's.
TEST(StationRecords, ACopyCarriesStringsLongerThanTheStationSends)
{
    CMS_ObjectSensorData sensor;
    sensor.ID = 3;
    sensor.Settings.assign(CByteStream::kMaxStringLength, 's');
    const CMS_ObjectSensorData copy(sensor);
    EXPECT_EQ(copy.ID, 3);
    EXPECT_GT(copy.Settings.size(), CByteStream::kMaxStringLength);
    EXPECT_EQ(copy.Settings, sensor.Settings);
}

// A read of the byte form that ends inside an integer sets the field to 0;
// a dynamic field kept by the load flag stays as it was.
TEST(StationRecords, AnIntegerCutShortReadsAsZero)
{
    CMS_ObjectData object;
    object.ID = 99;
    EXPECT_FALSE(load_bytes(object, filled_bytes<CMS_ObjectData>().substr(0, 6)));
    EXPECT_EQ(object.ID, 0);

    CMS_SimpleEventData event;
    event.Type = 5;
    EXPECT_FALSE(load_bytes(event, filled_bytes<CMS_SimpleEventData>().substr(0, 25)));  // inside Type
    EXPECT_EQ(event.Type, 0);

    const std::string sensor_bytes = filled_bytes<CMS_ObjectSensorData>();
    const std::string cut_in_state = sensor_bytes.substr(0, sensor_bytes.size() - 2);
    for (int flag : {0, 1}) {
        CMS_ObjectSensorData sensor;
        sensor.State = 9;
        EXPECT_FALSE(load_bytes(sensor, cut_in_state, flag));
        EXPECT_EQ(sensor.State, flag == 0 ? 0 : 9) << "flag " << flag;
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
    partial.Parse("<var name=\"StartTime\">0102030405e8070a</var>");
    CMS_ShiftData loaded;
    loaded.EndTime = PackedDateTime{1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(load_xml(loaded, partial));
    EXPECT_EQ(loaded.StartTime, (PackedDateTime{1, 2, 3, 4, 5, 0xE8, 7, 10}));
    EXPECT_EQ(loaded.EndTime, (PackedDateTime{1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(StationRecords, NewRecordsGetAGuidAndTheTimeNow)
{
    // 8-4-4-4-12 upper-case hexadecimal digits, no braces.
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    CMS_ObjectData a, b;
    EXPECT_NE(a.GUID, b.GUID);
    EXPECT_TRUE(std::regex_match(a.GUID, form)) << a.GUID;
    EXPECT_TRUE(std::regex_match(CMS_ObjectSensorData().GUID, form));
    // The year of "now" sits in bytes 5 and 6.
    const PackedDateTime now = packed_local_now();
    EXPECT_EQ(CMS_DeviceData().CaptureDateTime[5], now[5]);
    EXPECT_EQ(CMS_ShiftData().EndTime[6], now[6]);
    EXPECT_EQ(CMS_ObjectScheduleData().Time[6], now[6]);
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
    shorter.Parse("<var name=\"DataSize\">4</var><var name=\"Data\">abcd</var>");
    CMS_ObjectImageData loaded;
    ASSERT_TRUE(load_xml(loaded, shorter));
    EXPECT_EQ(loaded.Data, (RecordBlock{0xAB, 0xCD, 0, 0}));
    // Longer text than the size does not fit.
    shorter.Parse("<var name=\"DataSize\">1</var><var name=\"Data\">abcd</var>");
    EXPECT_FALSE(load_xml(loaded, shorter));
    // The zero-filled tail is bounded: a size far beyond the digits is refused,
    // not allocated.
    shorter.Parse("<var name=\"DataSize\">65536</var><var name=\"Data\">ab</var>");
    EXPECT_TRUE(load_xml(loaded, shorter));
    shorter.Parse("<var name=\"DataSize\">294967295</var><var name=\"Data\">ab</var>");
    EXPECT_FALSE(load_xml(loaded, shorter));

    // A size of 0 frees the block.
    image.DataSize = 0;
    ASSERT_TRUE(load_bytes(loaded, bytes_of(image)));
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

template <class T>
std::string store_name(int32_t id)
{
    T record;
    record.ID = id;
    return record.GetStoreFileName();
}

std::string device_test_store_name(int32_t)
{
    return CMS_DeviceTest().GetStoreFileName();
}

TEST(StationRecords, StoreFileNames)
{
    LibraryFolder library;
    const struct
    {
        const char* record;
        std::string (*name)(int32_t);
        int32_t id;
        const char* expected;  // below the library folder; "" for none
    } cases[] = {
        {"object", store_name<CMS_ObjectData>, 12, "/Data/Objects/12.xml"},
        {"device", store_name<CMS_DeviceData>, -3, "/Data/Devices/-3.xml"},
        {"group", store_name<CMS_ObjectGroupData>, 4, "/Data/ObjectGroups/4.xml"},
        {"person", store_name<CMS_PersonData>, 5, "/Data/Persons/5.xml"},
        {"user", store_name<CMS_UserData>, 6, "/Data/Users/6.xml"},
        {"event", store_name<CMS_SimpleEventData>, 7, "/Data/Events/7.xml"},
        {"sensor", store_name<CMS_ObjectSensorData>, 8, ""},
        {"client", store_name<CMS_ObjectClientData>, 8, ""},
        {"pin", store_name<CMS_ObjectPinData>, 8, ""},
        {"schedule", store_name<CMS_ObjectScheduleData>, 8, ""},
        {"image", store_name<CMS_ObjectImageData>, 8, ""},
        {"shift", store_name<CMS_ShiftData>, 8, ""},
        {"device test", device_test_store_name, 8, ""},
    };
    for (const auto& c : cases) {
        const std::string name = c.name(c.id);
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
