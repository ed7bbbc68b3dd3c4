#pragma once

// The library module itself: its file, its folder (where the library keeps its
// data) and its version block (FileVersion, ProductName).

#include <cstdint>
#include <string>

struct ModuleVersion
{
    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;
    int32_t revision = 0;
};

// An address inside the library, which names the library's module.
const void* library_module_handle();
// The path of the module named by the first call of the process ("UNAVAILABLE"
// when it cannot be told). The library names itself first, when it is attached,
// so every call answers with the library file's path, whatever `module` says.
std::string get_module_file_name(const void* module);
// The library file's folder, without a trailing separator.
std::string library_folder();
// Reads the version block into the numbers and the product name; run once when
// the library is attached, and again by whoever wants a fresh read.
void read_version_info();
// major << 16 | minor of FileVersion ("5.2.4.1" gives 327682).
int32_t get_module_version();
ModuleVersion get_file_version();
// ProductName of the version block, in Windows-1251.
std::string get_product_name();
