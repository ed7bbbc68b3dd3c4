// The list readers against the reader they replaced, kept here as the
// reference: a property tree built by read_xml and walked. Over documents the
// library prints, hand-made faults and mutations of both, the two must give the
// same results, maps and lists.
#include "model/StationListReader.h"

#include "StationDocuments.h"

#include "client/CMS_HelperClientLib.h"
#include "records/CMS_ObjectSensorData.h"
#include "records/CMS_SimpleEventData.h"

#include "support/TextCodec.h"
#include "support/XmlDepth.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace reference {

using boost::property_tree::ptree;

bool is_markup(const std::string& key)
{
    return key == "<xmlattr>" || key == "<xmlcomment>";
}

int32_t read_int32(const ptree& field)
{
    const std::string& text = field.data();
    const char* const end = text.c_str() + text.size();
    char* stop = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &stop, 10);
    bool whole = stop != text.c_str() && errno == 0;
    while (whole && stop < end && std::isspace(static_cast<unsigned char>(*stop)))
        ++stop;
    if (!whole || stop != end || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<uint32_t>::max())
        throw std::runtime_error("not an int32: " + text);
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

const std::string& field_name(const ptree& field)
{
    const auto attributes = field.find("<xmlattr>");
    if (attributes != field.not_found()) {
        const auto name = attributes->second.find("name");
        if (name != attributes->second.not_found())
            return name->second.data();
    }
    throw std::runtime_error("a field without a name");
}

void walk_list(const std::string& text, const std::string& root_tag,
               const std::function<void(const std::string&, const ptree&)>& field,
               const std::function<void()>& record_begin, const std::function<void()>& record_done)
{
    const std::string depth_fault = xml_depth_fault(text);
    if (!depth_fault.empty())
        throw std::runtime_error(depth_fault);
    std::istringstream input(text);
    ptree document;
    boost::property_tree::read_xml(input, document, boost::property_tree::xml_parser::no_comments);
    const ptree& root = document.get_child(ptree::path_type(root_tag, '\0'));
    for (const auto& record : root) {
        if (is_markup(record.first))
            continue;
        record_begin();
        for (const auto& value : record.second) {
            if (!is_markup(value.first))
                field(field_name(value.second), value.second);
        }
        record_done();
    }
}

bool parse_element_list(const std::string& text, const std::string& root_tag, ElementMap& elements)
{
    KorvelElement fields;
    const auto field = [&fields](const std::string& name, const ptree& value) {
        int32_t* target = name == "ID"         ? &fields.ID
                          : name == "Type"     ? &fields.Type
                          : name == "Group"    ? &fields.Group
                          : name == "ObjectID" ? &fields.ObjectID
                          : name == "State"    ? &fields.State
                          : name == "Number"   ? &fields.Number
                                               : nullptr;
        if (target != nullptr)
            *target = read_int32(value);
        else if (name == "Name")
            fields.Name = to_utf8("Windows-1251", value.data());
    };
    const auto done = [&fields, &elements] {
        KorvelElementPtr& slot = elements[fields.ID];
        if (!slot)
            slot = std::make_shared<KorvelElement>();
        slot->ID = fields.ID;
        slot->Type = fields.Type;
        slot->Name = fields.Name;
        slot->Group = fields.Group;
        slot->ObjectID = fields.ObjectID;
        slot->State = fields.State;
        slot->Number = fields.Number;
    };
    try {
        walk_list(text, root_tag, field, [&fields] { fields = KorvelElement(); }, done);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool parse_event_list(const std::string& text, KorvelEventList& events)
{
    KorvelEventPtr event;
    const auto field = [&event](const std::string& name, const ptree& value) {
        int32_t* target = name == "ID"              ? &event->ID
                          : name == "Type"          ? &event->Type
                          : name == "SubType"       ? &event->SubType
                          : name == "DeviceID"      ? &event->DeviceID
                          : name == "ObjectID"      ? &event->ObjectID
                          : name == "SensorNumber"  ? &event->SensorNumber
                          : name == "ObjectGroupID" ? &event->ObjectGroupID
                          : name == "ObjectState"   ? &event->ObjectState
                                                    : nullptr;
        if (target != nullptr)
            *target = read_int32(value);
    };
    try {
        walk_list(text, "eventlist", field, [&event] { event = std::make_shared<KorvelEvent>(); },
                  [&event, &events] { events.push_back(event); });
    } catch (const std::exception&) {
        return false;
    }
    return !events.empty();
}

} // namespace reference

namespace {

using testsupport::document;
using testsupport::record;

std::string describe(const ElementMap& elements)
{
    std::ostringstream out;
    for (const auto& entry : elements) {
        const KorvelElement& e = *entry.second;
        out << entry.first << ":" << e.ID << "," << e.Type << "," << e.Group << "," << e.ObjectID << ","
            << e.State << "," << e.Number << "," << e.StateLevel << "," << e.children.size() << ",'" << e.Name
            << "'\n";
    }
    return out.str();
}

std::string describe(const KorvelEventList& events)
{
    std::ostringstream out;
    for (const KorvelEventPtr& e : events)
        out << e->ID << "," << e->Type << "," << e->SubType << "," << e->DeviceID << "," << e->ObjectID << ","
            << e->SensorNumber << "," << e->ObjectGroupID << "," << e->ObjectState << ",'" << e->Text << "'\n";
    return out.str();
}

// A map as the worker holds it when a document updates it: one element with
// a level and children that reading must leave alone.
ElementMap filled_map()
{
    ElementMap elements;
    auto kept = std::make_shared<KorvelElement>();
    kept->ID = 7;
    kept->Name = "kept";
    kept->StateLevel = 2;
    kept->children[1] = std::make_shared<KorvelElement>();
    elements[7] = kept;
    return elements;
}

class ReadersAgree : public ::testing::Test
{
protected:
    // Both readers over the text as every list kind, then as an event list.
    void ExpectSame(const std::string& text)
    {
        SCOPED_TRACE(::testing::Message() << "document: " << ::testing::PrintToString(text));
        ++m_compared;
        for (const char* root : {"objectlist", "sensorlist", "objectgrouplist", "eventlist", ""}) {
            ElementMap expected = filled_map();
            ElementMap actual = filled_map();
            const bool expected_ok = reference::parse_element_list(text, root, expected);
            ASSERT_EQ(expected_ok, parse_element_list(text, root, actual)) << "root '" << root << "'";
            ASSERT_EQ(describe(expected), describe(actual)) << "root '" << root << "'";
            m_read += expected_ok ? 1 : 0;
        }
        KorvelEventList expected;
        KorvelEventList actual;
        ASSERT_EQ(reference::parse_event_list(text, expected), parse_event_list(text, actual));
        ASSERT_EQ(describe(expected), describe(actual));
    }

    // The text, every prefix of it and `count` random edits of it.
    void ExpectSameWhenCutAndMutated(const std::string& text, int count)
    {
        ExpectSame(text);
        for (size_t length = 0; length < text.size(); ++length)
            ASSERT_NO_FATAL_FAILURE(ExpectSame(text.substr(0, length)));
        static const std::string pieces[] = {"<", ">", "/", "&", "\"", "'", "=", "<!--", "-->", "<![CDATA[",
                                             "]]>", "&amp;", "&#", ";", " ", "\r\n", "4294967296", "-", "x",
                                             "name=\"ID\"", "<var name=\"Type\">3</var>", "<a>", "</a>", "\0"};
        for (int i = 0; i < count; ++i) {
            std::string mutant = text;
            const size_t at = m_random() % (mutant.size() + 1);
            switch (m_random() % 3) {
            case 0:
                mutant.erase(at, 1 + m_random() % 8);
                break;
            case 1:
                mutant.insert(at, pieces[m_random() % (sizeof pieces / sizeof pieces[0])]);
                break;
            default:
                if (at < mutant.size())
                    mutant[at] = static_cast<char>(m_random() % 256);
            }
            ASSERT_NO_FATAL_FAILURE(ExpectSame(mutant));
        }
    }

    std::mt19937 m_random{20261209};
    int m_compared = 0;
    int m_read = 0;
};

TEST_F(ReadersAgree, OnDocumentsTheLibraryPrints)
{
    CMS_SimpleEventData event;
    event.ID = 501;
    event.Type = 3;
    event.SubType = 2;
    event.ObjectID = -1;
    event.SensorNumber = -1;
    event.Info = "\xD2\xF0\xE5\xE2\xEE\xE3\xE0 <&> \"'";
    ASSERT_NO_FATAL_FAILURE(ExpectSameWhenCutAndMutated(CMS_HelperClientLib::RecordToXml(event, "event"), 1000));

    std::vector<CMS_ObjectSensorData> sensors(3);
    std::vector<const CObjectStoreXmlHelper*> records;
    for (size_t i = 0; i < sensors.size(); ++i) {
        sensors[i].ID = static_cast<int32_t>(100 + i);
        sensors[i].Number = static_cast<int16_t>(i + 1);
        sensors[i].Name = "\xC4\xE0\xF2\xF7\xE8\xEA &amp; " + std::to_string(i);
        records.push_back(&sensors[i]);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSameWhenCutAndMutated(CMS_HelperClientLib::BuildListXml(records, "sensor"), 1000));
    EXPECT_GT(m_read, 1000); // the mutants are not all refused
}

TEST_F(ReadersAgree, OnHandMadeFaultsAndOddities)
{
    const std::string cases[] = {
        document("objectlist", {record("object", {{"ID", "1"}}), "\t<object><var>2</var></object>\r\n"}),
        document("objectlist", {record("object", {{"ID", "4294967295"}, {"State", "4294967296"}})}),
        document("objectlist", {record("object", {{"ID", " -2147483649 "}})}),
        document("sensorlist", {record("sensor", {{"ID", "1"}, {"Number", "2<inner>3</inner>4"}})}),
        document("sensorlist", {"<sensor><rec><var name=\"ID\">5</var></rec><var name=\"ID\">6</var></sensor>"}),
        document("sensorlist", {"<!-- c --><sensor><!-- d --><var name=\"ID\"><!-- e -->8</var></sensor>"}),
        document("eventlist", {record("event", {{"ID", "&#52;&#x32;"}, {"Type", "&lt;"}})}),
        document("eventlist", {record("event", {{"ID", "<![CDATA[ 12 ]]>"}, {"SubType", "1<![CDATA[2]]>3"}})}),
        document("eventlist", {record("event", {{"ID", "&unknown;"}})}),
        document("objectlist", {record("object", {{"ID", "1"}, {"Name", "&quot;A&apos; &amp; \xFF\x80"}})}),
        "<eventlist><event a=\"1\"><var x=\"y\" name=\"ID\" name=\"SubType\">9</var></event></eventlist>",
        "<eventlist b=\"2\"><event><var name=\"ID\">1</var></event></eventlist><eventlist><event/></eventlist>",
        "<objectlist><object><var name=\"ID\">1</var></object></other><objectlist/>",
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"1\">]><objectlist><o><var "
        "name=\"ID\">&e;</var></o></objectlist>",
        std::string("<eventlist><event><var name=\"ID\">1\0</var></event></eventlist>", 55),
        std::string("<eventlist><event><var name=\"ID\">1</var></event>\0</eventlist>", 57),
        "<eventlist><event><var name='ID'>\t3\r\n</var><var name=\"Type\">3 </var></event></eventlist>",
        "<eventlist><event><var name=\"ID\">+</var></event></eventlist>",
        "<eventlist><event><var name=\"ID\"/><var name=\"Type\"></var></event></eventlist>",
        "<eventlist><event></event></eventlist>",
        "<eventlist><eventlist><var name=\"ID\">1</var></eventlist></eventlist>",
    };
    for (const std::string& text : cases)
        ASSERT_NO_FATAL_FAILURE(ExpectSame(text));
}

TEST_F(ReadersAgree, OnDeepAndWideDocuments)
{
    const auto nested = [](int levels, const std::string& inner) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += "<n>";
        text += inner;
        for (int i = 0; i < levels; ++i)
            text += "</n>";
        return text;
    };
    const std::string field = "<var name=\"ID\">1</var>";
    for (int levels : {kMaxXmlDepth - 3, kMaxXmlDepth - 2, kMaxXmlDepth + 1, 5000}) {
        ASSERT_NO_FATAL_FAILURE(ExpectSame("<eventlist><event>" + nested(levels, "") + field + "</event></eventlist>"));
        ASSERT_NO_FATAL_FAILURE(ExpectSame("<eventlist>" + nested(levels, field) + "</eventlist>"));
        ASSERT_NO_FATAL_FAILURE(ExpectSame("<eventlist><event>" + field + "</event></eventlist>" + nested(levels, "")));
    }
    std::vector<std::string> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(record("event", {{"ID", std::to_string(i)}}));
    ASSERT_NO_FATAL_FAILURE(ExpectSame(document("eventlist", records)));
}

} // namespace
