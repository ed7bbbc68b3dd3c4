#include "base/InputBounds.h"
#include "base/XmlDepth.h"
#include "base/XmlHelpers.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

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

// One element with `count` attributes, `a0=""` on.
std::string wide(int count)
{
    std::string text = "<w";
    for (int i = 0; i < count; ++i)
        text += " a" + std::to_string(i) + "=\"\"";
    return text + "/>";
}

XmlShape measure(const std::string& text, const XmlShape& bounds = kMaxXmlShape)
{
    std::string padded = text;
    padded.append(4, '\0');
    return xml_shape(padded.c_str(), TIXML_ENCODING_UNKNOWN, bounds);
}

std::string text_of(const XmlShape& shape)
{
    return std::to_string(shape.depth) + "/" + std::to_string(shape.attributes) + "/" + std::to_string(shape.nodes);
}

TEST(XmlShape, CountsWhatTheTreeTinyXmlBuildsHolds)
{
    const struct
    {
        const char* what;
        std::string text;
        XmlShape shape;  // depth, widest element, nodes
    } cases[] = {
        {"quoted '>' in a value", "<a b=\"x>y\" c='>'><d/></a>", {2, 2, 4}},
        {"quoted tags in a value", "<a b='<c><d>'/>", {1, 1, 2}},
        {"tags in a comment", "<a><!-- <b><c> --></a>", {1, 0, 2}},
        {"tags in CDATA", "<a><![CDATA[<b><c>]]></a>", {1, 0, 2}},
        {"quoted '>' in the declaration", "<?xml version=\"1>\" ?><a/>", {1, 0, 2}},
        {"a DOCTYPE ends at its first '>'", "<a><!DOCTYPE x [<!ENTITY e '>']><b/></a>", {2, 0, 4}},
        {"an instruction ends at its first '>'", "<a><?pi <b> ?><c/></a>", {2, 0, 4}},
        {"an empty element is a level", "<a><b/></a>", {2, 0, 2}},
        {"siblings add no level", "<a><b/><b></b><b/></a>", {2, 0, 4}},
        {"an unclosed element counts", "<a><b><c>", {3, 0, 3}},
        {"a wrong end tag ends the parse", "<a></b><c><d/></c></a>", {1, 0, 1}},
        {"top-level text ends the parse", "<a/>x<b><c/></b>", {1, 0, 1}},
        {"top-level end tags are passed over", "</x><a><b/></a>", {2, 0, 3}},
        // Without an encoding the declaration means UTF-8: the lead byte takes the
        // end tag's '<', so the next element nests.
        {"a UTF-8 sequence swallowing '<'", "<?xml version='1.0'?><a>\xE0</a><b><c/></b></a>", {3, 0, 5}},
        {"the same bytes as Windows-1251", "<?xml encoding='windows-1251'?><a>\xE0</a><b><c/></b>", {2, 0, 5}},
        {"text that decodes to a blank is dropped", "<a>&#32;<b/>x</a>", {2, 0, 3}},
        {"a repeated attribute ends the parse, the element kept", "<a x='1' y='2' x='3'><b/></a>", {1, 2, 3}},
        {"the widest element counts", "<a p=''><b q='' r=''/><c s=''/></a>", {2, 2, 7}},
        {"as deep as the bound", nested(kMaxXmlDepth), {kMaxXmlDepth, 0, kMaxXmlDepth}},
        {"the bound reached by an empty element", nested(kMaxXmlDepth - 1, "<b/>"), {kMaxXmlDepth, 0, kMaxXmlDepth}},
        {"as wide as the bound", wide(kMaxXmlAttributes), {1, kMaxXmlAttributes, kMaxXmlAttributes + 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text_of(measure(c.text)), text_of(c.shape)) << c.what;
        TiXmlDocument document;
        document.Parse(c.text.c_str());
        EXPECT_EQ(text_of(xml_tree_shape(&document)), text_of(c.shape)) << c.what << " (TinyXML)";
    }
}

TEST(XmlShape, StopsOnePastTheFirstBoundPassed)
{
    const XmlShape bounds{3, 2, 6};
    const struct
    {
        const char* what;
        std::string text;
        XmlShape shape;
    } cases[] = {
        {"at every bound", "<a><b x='' y=''><c/></b><d/></a>", {3, 2, 6}},
        {"one level too deep", "<a><b><c><d><e/></d></c></b></a>", {4, 0, 4}},
        {"one attribute too many", "<a><b x='' y='' z=''/><c/></a>", {2, 3, 4}},
        {"one node too many", "<a><b/><c/><d/><e/><f/>x</a>", {2, 0, 7}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text_of(measure(c.text, bounds)), text_of(c.shape)) << c.what;
}

TEST(XmlShape, ParsingRefusesADocumentPastABound)
{
    // Deep enough to overflow the parser's stack, and wide enough to take it
    // minutes, were it run.
    for (const std::string& text : {nested(200000), "<r>" + wide(80000) + "</r>"}) {
        TiXmlDocument document;
        bool refused = false;
        EXPECT_FALSE(xml_parse(document, text, TIXML_DEFAULT_ENCODING, &refused));
        EXPECT_TRUE(refused);
        EXPECT_TRUE(document.Error());
        EXPECT_TRUE(document.NoChildren());
    }
    TiXmlDocument document;
    EXPECT_TRUE(xml_parse_text(document, nested(kMaxXmlDepth)));
    EXPECT_TRUE(xml_parse_text(document, wide(kMaxXmlAttributes)));

    TiXmlDocument skeleton;
    ASSERT_TRUE(xml_parse_text(skeleton, "<Root><Template>old</Template></Root>"));
    EXPECT_FALSE(xml_set_inner_xml_at(&skeleton, "Root.Template", wide(kMaxXmlAttributes + 1)));
    EXPECT_STREQ(skeleton.RootElement()->FirstChildElement("Template")->GetText(), "old");
}

} // namespace
