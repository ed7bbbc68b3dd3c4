#pragma once

#include <string>

// The XML reader of the property trees descends once per nested element, so a
// document nested deeply enough overflows the stack. Documents are measured
// before they are read; the bridge's own need four levels.
constexpr int kMaxXmlDepth = 256;

// Empty when no element of the text lies deeper than `limit` levels; otherwise
// the reason the document is refused. Markup that does not open an element
// (declarations, comments, CDATA, quoted attribute values) is passed over as
// the reader passes over it.
std::string xml_depth_fault(const std::string& text, int limit = kMaxXmlDepth);
