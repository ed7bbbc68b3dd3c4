// The bridge's readers of the station library's list documents: object, sensor
// and object-group lists into an element map, and event lists. Checks that every
// element is stored under its own ID, that reading a document again into the
// same map changes nothing, that the events read do not depend on what the
// list held before, and that the depth measure every document passes before it
// is read never lets a deeper one through (measured at a few levels, so short
// inputs reach past it).
//
// Input: the document's text, then (its last byte) which list.

#include "FuzzSupport.h"

#include "model/StationListReader.h"
#include "support/XmlDepth.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

// Elements compared by their fields and children, not by their pointers.
bool same(const ElementMap& a, const ElementMap& b)
{
    if (a.size() != b.size())
        return false;
    for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y) {
        const KorvelElement& e = *x->second;
        const KorvelElement& f = *y->second;
        if (x->first != y->first || e.ID != f.ID || e.Group != f.Group || e.ObjectID != f.ObjectID ||
            e.Type != f.Type || e.Name != f.Name || e.StateLevel != f.StateLevel || e.State != f.State ||
            e.Number != f.Number || !same(e.children, f.children))
            return false;
    }
    return true;
}

ElementMap copy_of(const ElementMap& map)
{
    ElementMap out;
    for (const auto& entry : map)
        out[entry.first] = std::make_shared<KorvelElement>(*entry.second);
    return out;
}

void read_elements(const std::string& text, const std::string& root)
{
    ElementMap elements;
    const bool read = parse_element_list(text, root, elements);
    for (const auto& entry : elements)
        FUZZ_CHECK(entry.second && entry.second->ID == entry.first, "an element under another ID");
    if (!read)
        return;
    const ElementMap first = copy_of(elements);
    FUZZ_CHECK(parse_element_list(text, root, elements), "a document read once does not read again");
    FUZZ_CHECK(same(elements, first), "reading a document again changes the map");
}

void read_events(const std::string& text)
{
    KorvelEventList events;
    const bool read = parse_event_list(text, events);
    FUZZ_CHECK(!read || !events.empty(), "an event list read without events");
    if (!read)
        return;
    KorvelEventList again(events);
    FUZZ_CHECK(parse_event_list(text, again) && again.size() == 2 * events.size(), "events read differently");
}

using boost::property_tree::ptree;

// Levels of nested elements under the node; attributes and the text beside
// child elements are no level.
int element_depth(const ptree& node)
{
    int depth = 0;
    for (const auto& child : node)
        if (child.first != "<xmlattr>" && child.first != "<xmltext>")
            depth = std::max(depth, 1 + element_depth(child.second));
    return depth;
}

void measure_depth(const std::string& text)
{
    constexpr int kLimit = 3;
    if (!xml_depth_fault(text, kLimit).empty())
        return;
    std::istringstream input(text);
    ptree document;
    try {
        boost::property_tree::read_xml(input, document, boost::property_tree::xml_parser::no_comments);
    } catch (const boost::property_tree::xml_parser_error&) {
        return;
    }
    // An empty element one level further is read without descending.
    FUZZ_CHECK(element_depth(document) <= kLimit + 1, "a document deeper than its measure");
}

} // namespace


FUZZ_HARNESS("Feeds the station's list and event documents to the bridge's readers and their depth check.")

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size - 1);
    measure_depth(text);
    switch (data[size - 1] % 4) {
    case 0: read_elements(text, "objectlist"); break;
    case 1: read_elements(text, "sensorlist"); break;
    case 2: read_elements(text, "objectgrouplist"); break;
    default: read_events(text); break;
    }
    return 0;
}
