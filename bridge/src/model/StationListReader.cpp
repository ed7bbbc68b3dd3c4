#include "model/StationListReader.h"

#include "support/BridgeAssert.h"
#include "support/TextCodec.h"
#include "support/XmlDepth.h"

#include <boost/property_tree/detail/rapidxml.hpp>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// The property tree's own XML parser, read in place: building a property tree
// for every event document cost far more than parsing it. The walk below takes
// from the parser's nodes exactly what the tree reader (read_xml without
// comments) would have put into the tree.
namespace rapidxml = boost::property_tree::detail::rapidxml;
using XmlNode = rapidxml::xml_node<char>;

// Station texts are Windows-1251.
constexpr char kStationCodePage[] = "Windows-1251";

bool named(const char* name, size_t size, const char* wanted, size_t wanted_size)
{
    return size == wanted_size && std::memcmp(name, wanted, size) == 0;
}

// A name stops at the first character that is no name character, so its
// size is its length, as the tree reader takes it.
bool named(const rapidxml::xml_base<char>& markup, const std::string& wanted)
{
    return named(markup.name(), markup.name_size(), wanted.data(), wanted.size());
}

// A whole decimal number between -2^31 and 2^32 - 1; values above 2^31 - 1 are
// the unsigned form the library writes and stand for their int32 bit pattern.
// Taken as a stream takes a long long (blanks around it, a sign, digits), but
// without building a stream for every field of every event.
int32_t read_int32(const std::string& text)
{
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

// One field of a record: its attribute "name" (the first of that name) and its
// text, every text and CDATA piece directly inside it joined, as the tree
// reader joins them into the node's data.
class Field
{
public:
    // A field without a name fails the whole document.
    explicit Field(const XmlNode& node) : m_node(node)
    {
        for (const rapidxml::xml_attribute<char>* a = node.first_attribute(); a != nullptr; a = a->next_attribute())
        {
            if (named(a->name(), a->name_size(), "name", 4))
            {
                m_name = a->value();
                m_name_size = a->value_size();
                return;
            }
        }
        throw std::runtime_error("a field without a name");
    }

    template <size_t N>
    bool Is(const char (&wanted)[N]) const
    {
        return named(m_name, m_name_size, wanted, N - 1);
    }

    // The text in `value`, whose room is kept from field to field.
    const std::string& Text(std::string& value) const
    {
        value.clear();
        for (const XmlNode* piece = m_node.first_node(); piece != nullptr; piece = piece->next_sibling())
        {
            if (piece->type() == rapidxml::node_data || piece->type() == rapidxml::node_cdata)
                value.append(piece->value(), piece->value_size());
        }
        return value;
    }

private:
    const XmlNode& m_node;
    const char* m_name = nullptr;
    size_t m_name_size = 0;
};

// Whether the text holds more than `limit` opening angle brackets.
bool more_marks_than(const std::string& text, int limit)
{
    const char* at = text.data();
    const char* const end = at + text.size();
    for (int seen = 0; (at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(end - at)))) != nullptr;
         ++at)
    {
        if (++seen > limit)
            return true;
    }
    return false;
}

const XmlNode* next_element(const XmlNode* node)
{
    while (node != nullptr && node->type() != rapidxml::node_element)
        node = node->next_sibling();
    return node;
}

const XmlNode* first_element(const XmlNode& parent)
{
    return next_element(parent.first_node());
}

// Walks the records of the document in order: `record_begin`, then `field`
// with each of its fields, then `record_done`. Throws on any fault, so a
// record cut short is never stored.
template <typename Begin, typename OnField, typename Done>
void walk_list(const std::string& text, const std::string& root_tag, Begin record_begin, OnField field,
               Done record_done)
{
    // Elements nest no deeper than the text has '<'; an event document has far
    // fewer than the limit and is not measured.
    if (more_marks_than(text, kMaxXmlDepth))
    {
        const std::string depth_fault = xml_depth_fault(text);
        if (!depth_fault.empty())
            throw std::runtime_error(depth_fault);
    }
    // Parsed in place, so on a copy (terminated, as every string is); the
    // parser ends at the first NUL.
    std::string buffer = text;
    rapidxml::xml_document<char> document;
    document.parse<0>(buffer.data());

    // An empty tag names the document itself.
    const XmlNode* root = &document;
    if (!root_tag.empty())
    {
        root = first_element(document);
        while (root != nullptr && !named(*root, root_tag))
            root = next_element(root->next_sibling());
        if (root == nullptr)
            throw std::runtime_error("no element " + root_tag);
    }
    for (const XmlNode* record = first_element(*root); record != nullptr;
         record = next_element(record->next_sibling()))
    {
        record_begin();
        for (const XmlNode* value = first_element(*record); value != nullptr;
             value = next_element(value->next_sibling()))
            field(Field(*value));
        record_done();
    }
}

} // namespace

bool parse_element_list(const std::string& text, const std::string& root_tag, ElementMap& elements)
{
    KorvelElement fields;
    std::string value;
    const auto begin = [&fields] {
        fields.ID = fields.Type = fields.Group = fields.ObjectID = fields.State = fields.Number = -1;
        fields.Name.clear();
    };
    const auto field = [&fields, &value](const Field& f) {
        if (f.Is("ID"))
            fields.ID = read_int32(f.Text(value));
        else if (f.Is("Type"))
            fields.Type = read_int32(f.Text(value));
        else if (f.Is("Group"))
            fields.Group = read_int32(f.Text(value));
        else if (f.Is("ObjectID"))
            fields.ObjectID = read_int32(f.Text(value));
        else if (f.Is("State"))
            fields.State = read_int32(f.Text(value));
        else if (f.Is("Number"))
            fields.Number = read_int32(f.Text(value));
        else if (f.Is("Name"))
            fields.Name = to_utf8(kStationCodePage, f.Text(value));
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
        walk_list(text, root_tag, begin, field, done);
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
    std::string value;
    const auto begin = [&event] { event = std::make_shared<KorvelEvent>(); };
    const auto field = [&event, &value](const Field& f) {
        if (f.Is("ID"))
            event->ID = read_int32(f.Text(value));
        else if (f.Is("Type"))
            event->Type = read_int32(f.Text(value));
        else if (f.Is("SubType"))
            event->SubType = read_int32(f.Text(value));
        else if (f.Is("DeviceID"))
            event->DeviceID = read_int32(f.Text(value));
        else if (f.Is("ObjectID"))
            event->ObjectID = read_int32(f.Text(value));
        else if (f.Is("SensorNumber"))
            event->SensorNumber = read_int32(f.Text(value));
        else if (f.Is("ObjectGroupID"))
            event->ObjectGroupID = read_int32(f.Text(value));
        else if (f.Is("ObjectState"))
            event->ObjectState = read_int32(f.Text(value));
    };
    const auto done = [&event, &events] { events.push_back(std::move(event)); };
    try
    {
        walk_list(text, "eventlist", begin, field, done);
    }
    catch (const std::exception&)
    {
        return false;
    }
    return !events.empty();
}
