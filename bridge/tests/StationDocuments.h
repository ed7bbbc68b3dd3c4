#pragma once

// List documents written as the station library prints them: one element per
// record, each field a "var" child named by its attribute.

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline std::string record(const std::string& tag, const Fields& fields)
{
    std::string text = "\t<" + tag + ">\r\n";
    for (const auto& field : fields)
        text += "\t\t<var name=\"" + field.first + "\">" + field.second + "</var>\r\n";
    return text + "\t</" + tag + ">\r\n";
}

inline std::string document(const std::string& root, const std::vector<std::string>& records)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<" + root + ">\r\n";
    for (const auto& r : records)
        text += r;
    return text + "</" + root + ">\r\n";
}

} // namespace testsupport
