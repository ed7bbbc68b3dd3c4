#pragma once

#include <string>

namespace platform {

// Full path of the running executable (/proc/self/exe), or the test override.
std::string executable_path();
// Folder of the running executable, without a trailing separator.
std::string executable_folder();

// Full path of the shared object (or executable) that holds the given address,
// or the test override. Empty when it cannot be told.
std::string module_path(const void* address_in_module);

// Test-only: make the functions above answer with the given path, so tests never
// write beside their binaries. An empty text clears the override.
void set_executable_path_override(const std::string& path);
void set_module_path_override(const std::string& path);

} // namespace platform
