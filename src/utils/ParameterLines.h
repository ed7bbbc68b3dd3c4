#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

// Named parameters bound to the caller's variables. The set holds pointers
// only; the caller keeps the variables alive while the set is used.
struct ParameterSet
{
    using Handler = std::function<void(ParameterSet&, const std::string&)>;

    std::map<std::string, std::string*> string_params;
    std::map<std::string, int32_t*> int_params;
    std::map<std::string, double*> double_params;
    std::map<std::string, Handler> handlers;
};

// Reads lines of a name, blanks or tabs and a value (the rest of the line,
// trailing blanks included) into the bound variables. Empty lines and lines
// beginning with '#' are skipped but counted. Numbers must fill the whole value
// (boost::bad_lexical_cast otherwise); other bad lines throw std::runtime_error
// naming the line. Values assigned before a failing line stay.
void parse_parameter_lines(ParameterSet& set, const std::string& text);

// One "name value" line per string, integer and double parameter, in that
// order and by name; handlers are not written. No line feed after the last.
std::string dump_parameters(const ParameterSet& set);
