#pragma once

#include <string>

// The info document of msc_GetInfo: an "infolist" with one "info" holding Name
// ("ArdentisLib"), Description (the ProductName of the version block, in
// Windows-1251) and Version ("major.minor" of the FileVersion). "" when it
// cannot be built.
std::string build_info_document();
