#include "model/EventDictionary.h"

#include "support/BridgeLog.h"
#include "support/FilePath.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <exception>

EventTextMap EventsDictionary;

namespace {

constexpr char kDictionaryFileName[] = "dictionary_events_system.xml";

using boost::property_tree::ptree;

} // namespace

bool load_events_dictionary(const std::string& executable_path)
{
    const std::string path = path_replace_file_name(executable_path, kDictionaryFileName);
    log_message(kLogInfo, "load events dictionary %s\n", path.c_str());
    try
    {
        ptree document;
        boost::property_tree::read_xml(path, document, boost::property_tree::xml_parser::no_comments);
        for (const auto& type_node : document.get_child("Root.Template"))
        {
            if (type_node.first != "Param")
                continue;
            const int32_t type = type_node.second.get<int32_t>("<xmlattr>.id");
            for (const auto& sub_type_node : type_node.second)
            {
                if (sub_type_node.first != "Param")
                    continue;
                const int32_t sub_type = sub_type_node.second.get<int32_t>("<xmlattr>.id");
                EventsDictionary[type][sub_type] = sub_type_node.second.get<std::string>("<xmlattr>.text");
            }
        }
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool lookup_event_text(KorvelEvent& event)
{
    const auto type = EventsDictionary.find(event.Type);
    if (type == EventsDictionary.end())
        return false;
    const auto sub_type = type->second.find(event.SubType);
    if (sub_type == type->second.end())
        return false;
    event.Text = sub_type->second;
    return true;
}
