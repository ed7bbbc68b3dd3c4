#include "model/StationListReader.h"

#include "StationDocuments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::document;
using testsupport::record;

TEST(ParseElementList, ReadsFieldsAndConvertsNames)
{
    // "Пост №1 <A&B>" in Windows-1251, escaped as the library's printer does.
    const std::string name_1251 = "\xCF\xEE\xF1\xF2 \xB9" "1 &lt;A&amp;B&gt;";
    const std::string text = document(
        "objectlist", {record("object", {{"StructVer", "1"},
                                         {"ID", "100"},
                                         {"Type", "7"},
                                         {"Name", name_1251},
                                         {"Group", "10"},
                                         {"ObjectID", "100"},
                                         {"State", "1048581"},
                                         {"Number", "12"},
                                         {"Comment", "ignored"}})});
    ElementMap elements;
    ASSERT_TRUE(parse_element_list(text, "objectlist", elements));
    ASSERT_EQ(1u, elements.size());
    const KorvelElementPtr& e = elements.at(100);
    ASSERT_TRUE(e);
    EXPECT_EQ(100, e->ID);
    EXPECT_EQ(7, e->Type);
    EXPECT_EQ(u8"Пост №1 <A&B>", e->Name);
    EXPECT_EQ(10, e->Group);
    EXPECT_EQ(100, e->ObjectID);
    EXPECT_EQ(0x100005, e->State);
    EXPECT_EQ(12, e->Number);
    EXPECT_EQ(0, e->StateLevel);
    EXPECT_TRUE(e->children.empty());
}

TEST(ParseElementList, RecordsOfAnyTagInIdOrder)
{
    const std::string text = document("sensorlist", {record("sensor", {{"ID", "3"}, {"Number", "30"}}),
                                                     record("other", {{"ID", "1"}, {"Number", "10"}}),
                                                     "\t<!-- a note -->\r\n",
                                                     record("sensor", {{"ID", "2"}, {"Number", "20"}})});
    ElementMap elements;
    ASSERT_TRUE(parse_element_list(text, "sensorlist", elements));
    std::vector<std::pair<int32_t, int32_t>> seen;
    for (const auto& entry : elements)
        seen.emplace_back(entry.first, entry.second->Number);
    EXPECT_EQ((std::vector<std::pair<int32_t, int32_t>>{{1, 10}, {2, 20}, {3, 30}}), seen);
}

TEST(ParseElementList, RecordWithoutIdIsStoredUnderMinusOne)
{
    const std::string text = document("objectgrouplist", {record("objectgroup", {{"Name", "G"}})});
    ElementMap elements;
    ASSERT_TRUE(parse_element_list(text, "objectgrouplist", elements));
    ASSERT_EQ(1u, elements.count(-1));
    const KorvelElement& e = *elements.at(-1);
    EXPECT_EQ(-1, e.ID);
    EXPECT_EQ("G", e.Name);
    for (int32_t value : {e.Group, e.ObjectID, e.Type, e.State, e.Number})
        EXPECT_EQ(-1, value);
}

TEST(ParseElementList, ExistingElementIsUpdatedInPlace)
{
    ElementMap elements;
    ASSERT_TRUE(parse_element_list(
        document("objectgrouplist", {record("objectgroup", {{"ID", "10"}, {"Name", "old"}, {"Type", "4"}})}),
        "objectgrouplist", elements));
    const KorvelElementPtr group = elements.at(10);
    group->StateLevel = 1;
    group->children[100] = std::make_shared<KorvelElement>();

    ASSERT_TRUE(parse_element_list(
        document("objectgrouplist", {record("objectgroup", {{"ID", "10"}, {"Name", "new"}, {"State", "3"}})}),
        "objectgrouplist", elements));
    ASSERT_EQ(1u, elements.size());
    EXPECT_EQ(group, elements.at(10));
    EXPECT_EQ("new", group->Name);
    EXPECT_EQ(3, group->State);
    EXPECT_EQ(-1, group->Type); // every field comes from the newer record
    EXPECT_EQ(1, group->StateLevel);
    EXPECT_EQ(1u, group->children.count(100));
}

TEST(ParseElementList, IntegerForms)
{
    const struct
    {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"-1", true, -1},
        {" 42\t", true, 42},
        {"+7", true, 7},
        {"2147483647", true, 2147483647},
        {"2147483648", true, INT32_MIN},
        {"4294967295", true, -1},
        {"-2147483648", true, INT32_MIN},
        {"4294967296", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"12a", false, 0},
        {"0x10", false, 0},
        {"1 2", false, 0},
        {"", false, 0},
        {"-", false, 0},
    };
    for (const auto& c : cases)
    {
        for (const char* field : {"ID", "Type", "Group", "ObjectID", "State", "Number"})
        {
            ElementMap elements;
            const bool ok = parse_element_list(
                document("objectlist", {record("object", {{"ID", "5"}, {field, c.text}})}), "objectlist", elements);
            ASSERT_EQ(c.ok, ok) << field << " = '" << c.text << "'";
            if (!ok)
            {
                EXPECT_TRUE(elements.empty());
                continue;
            }
            const KorvelElement& e = *elements.begin()->second;
            const std::string name = field;
            const int32_t read = name == "ID"         ? e.ID
                                 : name == "Type"     ? e.Type
                                 : name == "Group"    ? e.Group
                                 : name == "ObjectID" ? e.ObjectID
                                 : name == "State"    ? e.State
                                                      : e.Number;
            EXPECT_EQ(c.value, read) << field << " = '" << c.text << "'";
        }
    }
}

TEST(ParseElementList, FaultKeepsEarlierRecords)
{
    const std::string bad_number = document("sensorlist", {record("sensor", {{"ID", "1"}}),
                                                           record("sensor", {{"ID", "2"}, {"State", "4294967296"}}),
                                                           record("sensor", {{"ID", "3"}})});
    std::string unnamed = document("sensorlist", {record("sensor", {{"ID", "1"}}), record("sensor", {{"ID", "2"}}),
                                                  record("sensor", {{"ID", "3"}})});
    unnamed.replace(unnamed.find("<var name=\"ID\">2"), 16, "<var>2");

    for (const std::string& text : {bad_number, unnamed})
    {
        ElementMap elements;
        EXPECT_FALSE(parse_element_list(text, "sensorlist", elements));
        ASSERT_EQ(1u, elements.size());
        EXPECT_EQ(1u, elements.count(1));
    }
}

// The root holding elements `levels` deep.
std::string deep_document(const std::string& root, int levels)
{
    std::string text = "<" + root + ">";
    for (int i = 0; i < levels; ++i)
        text += "<record>";
    for (int i = 0; i < levels; ++i)
        text += "</record>";
    return text + "</" + root + ">";
}

TEST(ParseElementList, DocumentFaults)
{
    const std::string good = document("objectlist", {record("object", {{"ID", "1"}})});
    const struct
    {
        std::string text;
        const char* root;
    } cases[] = {
        {good, "sensorlist"},
        {good.substr(0, good.size() - 6), "objectlist"},
        {"", "objectlist"},
        {"not xml at all", "objectlist"},
        // Refused before the reader, which would overflow the stack.
        {deep_document("objectlist", 50000), "objectlist"},
    };
    for (const auto& c : cases)
    {
        ElementMap elements;
        EXPECT_FALSE(parse_element_list(c.text, c.root, elements)) << c.text;
        EXPECT_TRUE(elements.empty());
    }
    ElementMap elements;
    EXPECT_TRUE(parse_element_list(document("objectlist", {}), "objectlist", elements));
    EXPECT_TRUE(elements.empty());
}

TEST(ParseEventList, ReadsEventsInOrder)
{
    const std::string text = document(
        "eventlist", {record("event", {{"StructVer", "1"},
                                       {"ID", "501"},
                                       {"Type", "3"},
                                       {"SubType", "9"},
                                       {"DeviceID", "7"},
                                       {"ObjectID", "100"},
                                       {"ObjectGroupID", "10"},
                                       {"Info", "\xCF"},
                                       {"ObjectState", "4294967295"},
                                       {"SensorNumber", "65535"}}),
                      record("event", {{"ID", "502"}, {"Type", "2"}, {"SubType", "22"}})});
    KorvelEventList events;
    ASSERT_TRUE(parse_event_list(text, events));
    ASSERT_EQ(2u, events.size());
    const KorvelEvent& first = *events[0];
    EXPECT_EQ(501, first.ID);
    EXPECT_EQ(EVENT_TYPE_SENSOR, first.Type);
    EXPECT_EQ(9, first.SubType);
    EXPECT_EQ(7, first.DeviceID);
    EXPECT_EQ(100, first.ObjectID);
    EXPECT_EQ(ALL_SENSORS, first.SensorNumber);
    EXPECT_EQ(10, first.ObjectGroupID);
    EXPECT_EQ(-1, first.ObjectState);
    EXPECT_TRUE(first.Text.empty());

    const KorvelEvent& second = *events[1];
    EXPECT_EQ(502, second.ID);
    EXPECT_EQ(EVENT_TYPE_OBJECT, second.Type);
    EXPECT_EQ(22, second.SubType);
    for (int32_t missing : {second.DeviceID, second.ObjectID, second.SensorNumber, second.ObjectGroupID,
                            second.ObjectState})
        EXPECT_EQ(-1, missing);
}

TEST(ParseEventList, EmptyOrFaultyDocuments)
{
    KorvelEventList events;
    EXPECT_FALSE(parse_event_list(document("eventlist", {}), events));
    EXPECT_TRUE(events.empty());

    EXPECT_FALSE(parse_event_list(document("objectlist", {record("object", {{"ID", "1"}})}), events));
    EXPECT_TRUE(events.empty());

    const std::string faulty = document("eventlist", {record("event", {{"ID", "1"}}),
                                                      record("event", {{"ID", "2"}, {"Type", "x"}}),
                                                      record("event", {{"ID", "3"}})});
    EXPECT_FALSE(parse_event_list(faulty, events));
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(1, events[0]->ID);
}

} // namespace
