#include "support/XmlDepth.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// `levels` elements, each inside the one before, with `inner` innermost.
std::string nested(int levels, const std::string& inner = "")
{
    std::string open, close;
    for (int i = 0; i < levels; ++i) {
        open += "<e a=\"1\">";
        close += "</e>";
    }
    return open + inner + close;
}

TEST(XmlDepth, CountsOnlyMarkupThatOpensAnElement)
{
    const struct
    {
        std::string text;
        bool refused;
    } cases[] = {
        {nested(4), false},
        {nested(5), true},
        {nested(4) + nested(4), false},
        {nested(4, "<x/><y a='/>'/>"), false},
        {nested(4, "<x></x>"), true},
        {"<?xml version=\"1.0\"?><!-- <a><b><c><d><e> -->" + nested(4, "<![CDATA[<a>]]>"), false},
        {"<!DOCTYPE r [<!ELEMENT r ANY>]>" + nested(4), false},
        {"<a t='<b><c>'><b t=\"<c><d>\"><c><d></d></c></b></a>", false},
        {nested(5).substr(0, 45), true},
        // Quotes outside an attribute value, and brackets outside a DOCTYPE,
        // hide nothing from the measure.
        {"<r\"><a><b><c><d></d></c></b></a></r\">", true},
        {"<r=\"x><a><b><c><d></d></c></b></a></r>", true},
        {"<r a=\"1\"b\"><a><b><c><d></d></c></b></a></r>", true},
        {"<![x [><a><b><c><d><e></e></d></c></b></a>]>", true},
        {"<r a = '>'><a><b><c></c></b></a></r>", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!xml_depth_fault(c.text, 4).empty(), c.refused) << c.text;
    EXPECT_EQ(xml_depth_fault(nested(kMaxXmlDepth)), "");
    EXPECT_EQ(xml_depth_fault(nested(50000)), "elements nested deeper than 256 levels");
}

} // namespace
