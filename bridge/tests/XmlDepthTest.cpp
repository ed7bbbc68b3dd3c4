#include "support/XmlDepth.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string repeat(const std::string& part, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += part;
    return text;
}

// `levels` elements, each inside the one before.
std::string nested(int levels, const std::string& inner = "")
{
    return repeat("<e a=\"1\">", levels) + inner + repeat("</e>", levels);
}

TEST(XmlDepth, CountsOnlyMarkupThatOpensAnElement)
{
    const struct
    {
        const char* what;
        std::string text;
        bool refused;
    } cases[] = {
        {"at the limit", nested(4), false},
        {"one below the limit", nested(5), true},
        {"siblings do not add up", repeat(nested(4), 3), false},
        {"empty elements", nested(4, "<x/><y a='/>'/>"), false},
        {"an empty element one level down", nested(4, "<x/>"), false},
        {"an element one level down", nested(4, "<x></x>"), true},
        {"declaration and comments", "<?xml version=\"1.0\"?><!-- <a><b><c><d><e> -->" + nested(4), false},
        {"CDATA", nested(4, "<![CDATA[<a><b>]]>"), false},
        {"doctype with an internal subset", "<!DOCTYPE r [<!ELEMENT r ANY>]>" + nested(4), false},
        {"quoted markup in an attribute", "<a t='<b><c>'><b t=\"<c><d>\"><c><d></d></c></b></a>", false},
        {"a document cut short", nested(4) + "<e", false},
        {"unclosed elements", repeat("<e>", 5), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!xml_depth_fault(c.text, 4).empty(), c.refused) << c.what;
}

TEST(XmlDepth, RefusesAVeryDeepDocumentWithItsReason)
{
    EXPECT_EQ(xml_depth_fault(nested(kMaxXmlDepth)), "");
    EXPECT_EQ(xml_depth_fault(nested(50000)), "elements nested deeper than 256 levels");
}

} // namespace
