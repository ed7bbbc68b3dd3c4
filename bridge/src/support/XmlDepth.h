#pragma once

#include "support/InputBounds.h"

#include <string>

// Empty when no element of the text lies deeper than `limit` levels; otherwise
// the reason the document is refused. Markup that does not open an element
// (declarations, comments, CDATA, quoted attribute values) is passed over as
// the reader passes over it.
std::string xml_depth_fault(const std::string& text, int limit = kMaxXmlDepth);
