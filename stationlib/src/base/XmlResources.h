#pragma once

// The XML documents compiled into the library, addressed by numeric id.

#include <string>

// Resource ids the library carries.
constexpr int kResourceDefaultSettings = 230;
constexpr int kResourceObjectTemplate = 231;
constexpr int kResourceScheduleTemplate = 232;

// `out` = exactly the resource's bytes (no terminator); false and `out` unchanged
// when there is no such resource.
bool load_xml_resource(int id, std::string& out);
// Writes the resource to `path`. With `overwrite` clear an existing file or folder
// is left alone and the result is true.
bool write_resource_file(int id, const std::string& path, bool overwrite);
