#include "model/StationListReader.h"

#include "support/BridgeAssert.h"
#include "support/TextCodec.h"
#include "support/XmlDepth.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace {

using boost::property_tree::ptree;

// Station texts are Windows-1251.
constexpr char kStationCodePage[] = "Windows-1251";

// Attributes and comments sit among a node's children in a property tree; they
// are neither records nor fields.
bool is_markup(const std::string& key)
{
    return key == "<xmlattr>" || key == "<xmlcomment>";
}

// A whole decimal number between -2^31 and 2^32 - 1; values above 2^31 - 1 are
// the unsigned form the library writes and stand for their int32 bit pattern.
// Taken as a stream takes a long long (blanks around it, a sign, digits), but
// without building a stream for every field of every event.
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

// The field's attribute "name"; a field without one fails the whole document.
// Looked up by key rather than by path, which would be parsed for every field.
const std::string& field_name(const ptree& field)
{
    static const std::string attributes_key = "<xmlattr>";
    static const std::string name_key = "name";
    const auto attributes = field.find(attributes_key);
    if (attributes != field.not_found())
    {
        const auto name = attributes->second.find(name_key);
        if (name != attributes->second.not_found())
            return name->second.data();
    }
    throw std::runtime_error("a field without a name");
}

// Walks the records of the document in order: `record_begin`, then `field` with
// the name and value node of each of its fields, then `record_done`. Throws on
// any fault, so a record cut short is never stored.
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
    for (const auto& record : root)
    {
        if (is_markup(record.first))
            continue;
        record_begin();
        for (const auto& value : record.second)
        {
            if (is_markup(value.first))
                continue;
            field(field_name(value.second), value.second);
        }
        record_done();
    }
}

} // namespace

bool parse_element_list(const std::string& text, const std::string& root_tag, ElementMap& elements)
{
    KorvelElement fields;
    const auto begin = [&fields] { fields = KorvelElement(); };
    const auto field = [&fields](const std::string& name, const ptree& value) {
        if (name == "ID")
            fields.ID = read_int32(value);
        else if (name == "Type")
            fields.Type = read_int32(value);
        else if (name == "Group")
            fields.Group = read_int32(value);
        else if (name == "ObjectID")
            fields.ObjectID = read_int32(value);
        else if (name == "State")
            fields.State = read_int32(value);
        else if (name == "Number")
            fields.Number = read_int32(value);
        else if (name == "Name")
            fields.Name = to_utf8(kStationCodePage, value.data());
    };
    const auto done = [&fields, &elements] {
        KorvelElementPtr& slot = elements[fields.ID];
        if (!slot)
            slot = std::make_shared<KorvelElement>();
        const KorvelElementPtr e = slot;
        BRIDGE_ASSERT(e);
        e->ID = fields.ID;
        e->Type = fields.Type;
        e->Name = fields.Name;
        e->Group = fields.Group;
        e->ObjectID = fields.ObjectID;
        e->State = fields.State;
        e->Number = fields.Number;
    };
    try
    {
        walk_list(text, root_tag, field, begin, done);
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool parse_event_list(const std::string& text, KorvelEventList& events)
{
    KorvelEventPtr event;
    const auto begin = [&event] { event = std::make_shared<KorvelEvent>(); };
    const auto field = [&event](const std::string& name, const ptree& value) {
        if (name == "ID")
            event->ID = read_int32(value);
        else if (name == "Type")
            event->Type = read_int32(value);
        else if (name == "SubType")
            event->SubType = read_int32(value);
        else if (name == "DeviceID")
            event->DeviceID = read_int32(value);
        else if (name == "ObjectID")
            event->ObjectID = read_int32(value);
        else if (name == "SensorNumber")
            event->SensorNumber = read_int32(value);
        else if (name == "ObjectGroupID")
            event->ObjectGroupID = read_int32(value);
        else if (name == "ObjectState")
            event->ObjectState = read_int32(value);
    };
    const auto done = [&event, &events] { events.push_back(event); };
    try
    {
        walk_list(text, "eventlist", field, begin, done);
    }
    catch (const std::exception&)
    {
        return false;
    }
    return !events.empty();
}
