#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "records/CMS_ObjectClientData.h"
#include "records/CMS_PersonData.h"
#include "records/CMS_UserData.h"
#include "StationRecordSupport.h"

namespace {

using namespace record_test;

TEST(CMS_ObjectClientData, ValuesTakenFromSettings)
{
    struct ClientCase
    {
        std::string settings;
        std::string phone1;
        std::string phone2;
        std::string cc_acc;
        int32_t mode;
        std::vector<bool> bits;  // CCFlBit3 to CCFlBit6
    };
    // "1234", a zero byte, then five groups that are never read: ten groups in all.
    const std::string account = "0451015100511551" "0554" "04440444044404440444";
    const ClientCase cases[] = {
        {"", "", "", "", 1, {false, false, false, false}},
        {"CCFl=4", "", "", "", 2, {false, false, false, false}},
        {"CCFl=0", "", "", "", 0, {false, false, false, false}},
        // Flag 0 wins over flag 2; digit 1 holds flags 4 to 7.
        {"CCFl=D6", "", "", "", 1, {true, false, true, true}},
        {"CCFl=8", "", "", "", 0, {true, false, false, false}},
        {"Phone1=+7 (912) 345-67-89\r\nPhone2=8-800-555-35-35-00", "9123456789", "0555353500", "", 1,
         {false, false, false, false}},
        // Shorter than 11 characters: empty, even when all digits.
        {"Phone1=9123456789\nPhone2=12-34-5678", "", "", "", 1, {false, false, false, false}},
        // Eleven characters holding fewer digits keep them all.
        {"Phone1=(12) 34-5-6", "123456", "", "", 1, {false, false, false, false}},
        {"CCAcc=" + account, "", "", "1234", 1, {false, false, false, false}},
        {"CCAcc=" + account.substr(1), "", "", "", 1, {false, false, false, false}},
    };
    for (const ClientCase& c : cases) {
        SCOPED_TRACE(c.settings);
        CMS_ObjectClientData source;
        source.Settings = c.settings;
        CMS_ObjectClientData client;
        ASSERT_TRUE(load_bytes(client, bytes_of(source)));
        EXPECT_EQ(client.Phone1, c.phone1);
        EXPECT_EQ(client.Phone2, c.phone2);
        EXPECT_EQ(client.CCAcc, c.cc_acc);
        EXPECT_EQ(client.CCFlMode, c.mode);
        EXPECT_EQ((std::vector<bool>{client.CCFlBit3, client.CCFlBit4, client.CCFlBit5, client.CCFlBit6}), c.bits);
        // The encoded form stays in Settings as it came.
        EXPECT_EQ(client.Settings, c.settings);
    }
}

TEST(CMS_ObjectClientData, SettingsValuesAreReadBeforeState)
{
    CMS_ObjectClientData source;
    source.Settings = "Phone1=+7 912 345 67 89";
    std::string bytes = bytes_of(source);
    CMS_ObjectClientData client;
    // Without the State word the load fails, but Settings was read and applied.
    EXPECT_FALSE(load_bytes(client, bytes.substr(0, bytes.size() - 4)));
    EXPECT_EQ(client.Phone1, "9123456789");
}

TEST(CMS_PersonData, PersObjectsAndClientValues)
{
    struct PersonCase
    {
        const char* settings;
        std::vector<int32_t> objects;
    };
    const PersonCase cases[] = {
        {"PersObjects=3,a,17", {3, 0, 17}},
        {"PersObjects=", {}},
        {"", {}},
        {"PersObjects=,5,,-2,", {0, 5, 0, -2}},
        {"PersObjects= 12 , 7x\nPhone1=+7 (912) 345-67-89", {12, 7}},
    };
    for (const PersonCase& c : cases) {
        SCOPED_TRACE(c.settings);
        CMS_PersonData source;
        source.Settings = c.settings;
        CMS_PersonData person;
        person.PersObjects = {99};
        ASSERT_TRUE(load_bytes(person, bytes_of(source)));
        EXPECT_EQ(person.PersObjects, c.objects);
        EXPECT_EQ(person.CCFlMode, 1);
    }

    CMS_PersonData person;
    person.Settings = "Phone2=8 (800) 555-35-35\nCCFl=4\nPersObjects=1";
    person.ParsePersObjects();
    EXPECT_EQ(person.Phone2, "8005553535");
    EXPECT_EQ(person.CCFlMode, 2);
    EXPECT_EQ(person.PersObjects, (std::vector<int32_t>{1}));
}

TEST(CMS_PersonData, ReadStationReadsTheRecordsOwnOrder)
{
    CMS_PersonData source;
    fill(source, 5);
    const std::string bytes = bytes_of(source);
    ASSERT_EQ(bytes.size(), 28u + source.Name.size() + source.Settings.size() + source.Key.size());

    CByteStream stream;
    fill_stream(stream, bytes + bytes);
    CMS_PersonData first, second;
    ASSERT_TRUE(first.ReadStation(&stream));
    ASSERT_TRUE(second.ReadStation(&stream));
    EXPECT_EQ(bytes_of(first), bytes);
    EXPECT_EQ(bytes_of(second), bytes);
    EXPECT_EQ(first.PersObjects, (std::vector<int32_t>{3, 4}));
    EXPECT_FALSE(second.ReadStation(&stream));
    EXPECT_FALSE(second.ReadStation(nullptr));
}

TEST(CMS_UserData, ReadStationHasNoStructVer)
{
    CMS_UserData defaults;
    const std::string default_bytes = bytes_of(defaults);
    ASSERT_EQ(default_bytes.size(), 57u);
    // The station's form is the record's bytes without the leading version word.
    CMS_UserData from_station;
    CByteStream stream;
    fill_stream(stream, default_bytes.substr(4));
    ASSERT_TRUE(from_station.ReadStation(&stream));
    EXPECT_EQ(stream.GetPosition(), 53);
    EXPECT_EQ(from_station.Descr, "0");
    EXPECT_EQ(from_station.ClientTyp, -1);

    CMS_UserData source;
    fill(source, 9);
    const std::string station = bytes_of(source).substr(4);
    for (size_t cut = 0; cut < station.size(); ++cut) {
        CMS_UserData user;
        CByteStream truncated;
        fill_stream(truncated, station.substr(0, cut));
        EXPECT_FALSE(user.ReadStation(&truncated)) << cut;
    }
    CMS_UserData user;
    CByteStream whole;
    fill_stream(whole, station);
    ASSERT_TRUE(user.ReadStation(&whole));
    EXPECT_EQ(bytes_of(user), bytes_of(source));
    EXPECT_FALSE(user.ReadStation(nullptr));
}

} // namespace
