#include "model/EventDictionary.h"

#include "support/BridgeLog.h"
#include "support/FilePath.h"
#include "support/InputBounds.h"
#include "support/XmlDepth.h"

#include "platform/RegularFile.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <cerrno>
#include <cstring>
#include <exception>
#include <sstream>
#include <stdexcept>

EventTextMap EventsDictionary;

namespace {

constexpr char kDictionaryFileName[] = "dictionary_events_system.xml";

using boost::property_tree::ptree;

// Why the file was not read, as read_regular_file left errno.
std::string unreadable_file_reason(int error)
{
    if (error == EINVAL)
        return "not a regular file";
    if (error == EFBIG)
        return "larger than " + std::to_string(kMaxDictionaryFileSize) + " bytes";
    return std::string("cannot open the file: ") + std::strerror(error);
}

} // namespace

bool load_events_dictionary(const std::string& executable_path, std::string* reason)
{
    const std::string path = path_replace_file_name(executable_path, kDictionaryFileName);
    log_message(kLogInfo, "load events dictionary %s\n", path.c_str());
    std::string fault;
    try
    {
        std::string text;
        if (!platform::read_regular_file(path, kMaxDictionaryFileSize, text))
            throw std::runtime_error(unreadable_file_reason(errno));
        fault = xml_depth_fault(text);
        if (!fault.empty())
            throw std::runtime_error(fault);
        std::istringstream input(text);
        ptree document;
        boost::property_tree::read_xml(input, document, boost::property_tree::xml_parser::no_comments);
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
    catch (const boost::property_tree::xml_parser_error& e)
    {
        fault = e.message() + " at line " + std::to_string(e.line());
    }
    catch (const boost::property_tree::ptree_bad_data& e)
    {
        fault = "\"" + e.data<std::string>() + "\" is not an int32";
    }
    catch (const std::exception& e)
    {
        fault = e.what();
    }
    if (reason != nullptr)
        *reason = fault;
    return false;
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
