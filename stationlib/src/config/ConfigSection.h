#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/ConfigParam.h"

// A bracketed section of a settings file with its lines in file order.
struct ConfigSection
{
    std::string name;
    std::vector<std::unique_ptr<ConfigParam>> params;
};
