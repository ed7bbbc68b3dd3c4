#include "utils/ParameterLines.h"

#include "utils/StringPrintf.h"

#include <boost/lexical_cast.hpp>

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace {

bool is_space(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void assign(ParameterSet& set, const std::string& name, const std::string& value, int line_number)
{
    if (auto it = set.string_params.find(name); it != set.string_params.end()) {
        *it->second = value;
    } else if (auto it = set.int_params.find(name); it != set.int_params.end()) {
        *it->second = boost::lexical_cast<int32_t>(value);
    } else if (auto it = set.double_params.find(name); it != set.double_params.end()) {
        *it->second = boost::lexical_cast<double>(value);
    } else if (auto it = set.handlers.find(name); it != set.handlers.end()) {
        it->second(set, value);
    } else {
        throw std::runtime_error("unknown parameter '" + name + "', line " + std::to_string(line_number));
    }
}

} // namespace

void parse_parameter_lines(ParameterSet& set, const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        if (line.empty() || line[0] == '#')
            continue;

        size_t name_begin = 0;
        while (name_begin < line.size() && is_space(line[name_begin]))
            ++name_begin;
        if (name_begin == line.size())
            throw std::runtime_error("cannot interpret line " + std::to_string(line_number));
        size_t name_end = name_begin;
        while (name_end < line.size() && !is_space(line[name_end]))
            ++name_end;

        // The value starts where the name really ends, also after leading blanks.
        size_t value_begin = line.find_first_not_of(" \t", name_end);
        if (value_begin == std::string::npos)
            value_begin = line.size();
        assign(set, line.substr(name_begin, name_end - name_begin), line.substr(value_begin), line_number);
    }
}

std::string dump_parameters(const ParameterSet& set)
{
    std::string text;
    auto add_line = [&text](const std::string& name, const std::string& value) {
        if (!text.empty())
            text += '\n';
        text += name + " " + value;
    };
    for (const auto& [name, value] : set.string_params)
        add_line(name, *value);
    for (const auto& [name, value] : set.int_params)
        add_line(name, string_printf("%d", *value));
    for (const auto& [name, value] : set.double_params)
        add_line(name, string_printf("%f", *value));
    return text;
}
