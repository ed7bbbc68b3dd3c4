#include "base/InputBounds.h"
#include "base/XmlDepth.h"
#include "base/XmlHelpers.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <string>

namespace {

std::string nested(int levels, const std::string& inner = "")
{
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "<a>";
    text += inner;
    for (int i = 0; i < levels; ++i)
        text += "</a>";
    return text;
}

int measure(const std::string& text, int limit = kMaxXmlDepth)
{
    std::string padded = text;
    padded.append(4, '\0');
    return xml_element_depth(padded.c_str(), TIXML_ENCODING_UNKNOWN, limit);
}

// Levels of elements TinyXML built, the measure's oracle.
int built(const TiXmlNode* node)
{
    int depth = 0;
    for (const TiXmlNode* child = node->FirstChildElement(); child; child = child->NextSiblingElement())
        depth = std::max(depth, 1 + built(child));
    return depth;
}

TEST(XmlDepth, CountsTheLevelsTinyXmlBuilds)
{
    const struct
    {
        const char* what;
        std::string text;
        int depth;
    } cases[] = {
        {"quoted '>' in a value", "<a b=\"x>y\" c='>'><d/></a>", 2},
        {"quoted tags in a value", "<a b='<c><d>'/>", 1},
        {"tags in a comment", "<a><!-- <b><c> --></a>", 1},
        {"tags in CDATA", "<a><![CDATA[<b><c>]]></a>", 1},
        {"quoted '>' in the declaration", "<?xml version=\"1>\" ?><a/>", 1},
        {"a DOCTYPE ends at its first '>'", "<a><!DOCTYPE x [<!ENTITY e '>']><b/></a>", 2},
        {"an instruction ends at its first '>'", "<a><?pi <b> ?><c/></a>", 2},
        {"an empty element is a level", "<a><b/></a>", 2},
        {"siblings add no level", "<a><b/><b></b><b/></a>", 2},
        {"an unclosed element counts", "<a><b><c>", 3},
        {"a wrong end tag ends the parse", "<a></b><c><d/></c></a>", 1},
        {"top-level text ends the parse", "<a/>x<b><c/></b>", 1},
        {"top-level end tags are passed over", "</x><a><b/></a>", 2},
        // Without an encoding the declaration means UTF-8: the lead byte takes the
        // end tag's '<', so the next element nests.
        {"a UTF-8 sequence swallowing '<'", "<?xml version='1.0'?><a>\xE0</a><b><c/></b></a>", 3},
        {"the same bytes as Windows-1251", "<?xml encoding='windows-1251'?><a>\xE0</a><b><c/></b>", 2},
        {"as deep as the limit", nested(kMaxXmlDepth), kMaxXmlDepth},
        {"the limit reached by an empty element", nested(kMaxXmlDepth - 1, "<b/>"), kMaxXmlDepth},
        {"one past the limit", nested(kMaxXmlDepth + 1), kMaxXmlDepth + 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(measure(c.text), c.depth) << c.what;
        TiXmlDocument document;
        document.Parse(c.text.c_str());
        EXPECT_EQ(built(&document), c.depth) << c.what << " (TinyXML)";
    }
}

TEST(XmlDepth, ParsingRefusesADocumentDeeperThanTheLimit)
{
    TiXmlDocument document;
    bool refused = false;
    // Deep enough to overflow the parser's stack, were it run.
    EXPECT_FALSE(xml_parse(document, nested(200000), TIXML_DEFAULT_ENCODING, &refused));
    EXPECT_TRUE(refused);
    EXPECT_TRUE(document.Error());
    EXPECT_TRUE(document.NoChildren());
    EXPECT_TRUE(xml_parse_text(document, nested(kMaxXmlDepth)));

    TiXmlDocument skeleton;
    ASSERT_TRUE(xml_parse_text(skeleton, "<Root><Template>old</Template></Root>"));
    EXPECT_FALSE(xml_set_inner_xml_at(&skeleton, "Root.Template", nested(kMaxXmlDepth + 1)));
    EXPECT_STREQ(skeleton.RootElement()->FirstChildElement("Template")->GetText(), "old");
}

} // namespace
