// The list documents that carry records between the library and its host.

#include "client/CMS_HelperClientLib.h"

#include "RecordBuilders.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectSensorData.h"
#include "records/CMS_SimpleEventData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A group as the documents below print it.
CMS_ObjectGroupData listed_group(int32_t id, const std::string& name)
{
    CMS_ObjectGroupData group = make_group(id, name);
    group.Type = 2;
    group.Number = 17;
    group.OriginServerId = 7;
    return group;
}

std::string group_element(int32_t id, const std::string& name, const std::string& origin)
{
    return "\t<objectgroup>\r\n"
           "\t\t<var name=\"StructVer\">1</var>\r\n"
           "\t\t<var name=\"ID\">" + std::to_string(id) + "</var>\r\n"
           "\t\t<var name=\"Type\">2</var>\r\n"
           "\t\t<var name=\"Name\">" + name + "</var>\r\n"
           "\t\t<var name=\"Descr\"></var>\r\n"
           "\t\t<var name=\"Settings\"></var>\r\n"
           "\t\t<var name=\"AutoProcess\">0</var>\r\n"
           "\t\t<var name=\"ServerID\">0</var>\r\n"
           "\t\t<var name=\"Number\">17</var>\r\n"
           "\t\t<var name=\"ExternalNumber\">0</var>\r\n"
           "\t\t<var name=\"OriginServerId\">" + origin + "</var>\r\n"
           "\t\t<var name=\"UserId\">0</var>\r\n"
           "\t</objectgroup>\r\n";
}

// The value text of the var element with that key in a printed document.
std::string var_text(const std::string& document, const std::string& key)
{
    const std::string open = "<var name=\"" + key + "\">";
    const size_t start = document.find(open);
    if (start == std::string::npos)
        return "<missing>";
    const size_t from = start + open.size();
    return document.substr(from, document.find("</var>", from) - from);
}

} // namespace

TEST(ListDocuments, AnEmptyListIsTheDeclarationAndAnEmptyRoot)
{
    RecordList<CMS_ObjectSensorData> none;
    EXPECT_EQ(CMS_HelperClientLib::BuildListXml(none, "sensor"),
              std::string(kListDeclaration) + "<sensorlist />\r\n");
}

TEST(ListDocuments, OneRecordIsPrintedWithTabsAndCrLf)
{
    const std::string expected = std::string(kListDeclaration) + "<objectgrouplist>\r\n"
        + group_element(5, "North", "7") + "</objectgrouplist>\r\n";
    EXPECT_EQ(CMS_HelperClientLib::RecordToXml(listed_group(5, "North"), "objectgroup"), expected);
}

TEST(ListDocuments, ListsKeepTheirOrder)
{
    RecordList<CMS_ObjectGroupData> groups;
    groups.push_back(std::make_unique<CMS_ObjectGroupData>(listed_group(9, "B")));
    groups.push_back(std::make_unique<CMS_ObjectGroupData>(listed_group(3, "A")));
    const std::string expected = std::string(kListDeclaration) + "<objectgrouplist>\r\n" + group_element(9, "B", "7")
        + group_element(3, "A", "7") + "</objectgrouplist>\r\n";
    EXPECT_EQ(CMS_HelperClientLib::BuildListXml(groups, "objectgroup"), expected);
}

TEST(ListDocuments, NamesRoundTripWithEscapesAndRawBytes)
{
    struct Case
    {
        const char* what;
        std::string name;
        std::string printed;
    };
    const Case cases[] = {
        {"markup", "a<b&c>d", "a&lt;b&amp;c&gt;d"},
        {"quotes", "say \"hi\" 'there'", "say &quot;hi&quot; &apos;there&apos;"},
        // Windows-1251 bytes stay as they are under the declared encoding.
        {"cyrillic", "\xCF\xF6\xED \xFF\x80", "\xCF\xF6\xED \xFF\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMS_ObjectData object;
        object.ID = 12;
        object.Name = c.name;
        const std::string document = CMS_HelperClientLib::RecordToXml(object, "object");
        EXPECT_EQ(var_text(document, "Name"), c.printed);

        CMS_ObjectData back;
        ASSERT_TRUE(CMS_HelperClientLib::LoadListXml(document, "object", back));
        EXPECT_EQ(back.Name, c.name);
        EXPECT_EQ(back.ID, 12);
    }
}

TEST(ListDocuments, MinusOneIsWrittenUnsigned)
{
    CMS_SimpleEventData event;
    event.ObjectID = -1;
    event.ServerID = -1;  // int16
    const std::string document = CMS_HelperClientLib::RecordToXml(event, "event");
    EXPECT_EQ(document.compare(0, sizeof kListDeclaration - 1, kListDeclaration), 0);
    EXPECT_NE(document.find("<eventlist>\r\n\t<event>\r\n"), std::string::npos);
    EXPECT_EQ(var_text(document, "ObjectID"), "4294967295");
    EXPECT_EQ(var_text(document, "ServerID"), "65535");

    CMS_SimpleEventData back;
    back.ServerID = 0;
    ASSERT_TRUE(CMS_HelperClientLib::LoadListXml(document, "event", back));
    EXPECT_EQ(back.ObjectID, -1);
    EXPECT_EQ(back.ServerID, -1);
}

TEST(ListDocuments, LoadingTakesTheFirstRecordOfTheRightRoot)
{
    const std::string two = std::string(kListDeclaration) + "<objectgrouplist>\r\n" + group_element(1, "First", "7")
        + group_element(2, "Second", "7") + "</objectgrouplist>\r\n";
    const std::string commented = "<objectgrouplist><!-- first --><other/>"
                                  "<objectgroup><var name=\"ID\">4</var></objectgroup></objectgrouplist>";
    struct Case
    {
        const char* what;
        std::string text;
        std::string tag;
        bool loads;
        int32_t id;
    };
    const Case cases[] = {
        {"two records", two, "objectgroup", true, 1},
        {"wrong root for the tag", two, "sensor", false, 0},
        {"comment and other element first", commented, "objectgroup", true, 4},
        {"root without records", "<objectgrouplist><objectgroups/></objectgrouplist>", "objectgroup", false, 0},
        {"no root", "<objectgroup><var name=\"ID\">4</var></objectgroup>", "objectgroup", false, 0},
        {"not XML", "<objectgrouplist><objectgroup>", "objectgroup", false, 0},
        {"empty text", "", "objectgroup", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMS_ObjectGroupData group;
        EXPECT_EQ(CMS_HelperClientLib::LoadListXml(c.text, c.tag, group), c.loads);
        if (c.loads) {
            EXPECT_EQ(group.ID, c.id);
        }
    }
}

TEST(ListDocuments, MissingFieldsReadAsZeroOrEmptyButDatesStay)
{
    CMS_ObjectData object;
    object.Name = "kept?";
    const PackedDateTime capture = object.CaptureDateTime;
    ASSERT_EQ(object.OriginServerId, -1);

    const std::string text = "<objectlist><object><var name=\"ID\">33</var></object></objectlist>";
    ASSERT_TRUE(CMS_HelperClientLib::LoadListXml(text, "object", object));
    EXPECT_EQ(object.ID, 33);
    EXPECT_EQ(object.Name, "");
    EXPECT_EQ(object.OriginServerId, 0);
    EXPECT_EQ(object.Key, 0);
    EXPECT_EQ(std::memcmp(&object.CaptureDateTime, &capture, sizeof capture), 0);
}
