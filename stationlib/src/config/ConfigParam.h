#pragma once

#include <string>

// One line of a settings section. A comment line is kept with the key ";" and
// the text after its semicolon as the value.
struct ConfigParam
{
    std::string key;
    std::string value;
};
