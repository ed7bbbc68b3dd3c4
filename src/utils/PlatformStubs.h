#pragma once

#include <string>

// Linux-only services that this platform build does not offer: each stops the
// process through the assertion handler.

// Would read the text of a sysfs file.
[[noreturn]] void read_sysfs_file(const std::string& path, std::string& text);

// Would find the model and serial number of a block device by its name.
[[noreturn]] void get_model_and_serial_for_device(const std::string& device, std::string& model,
                                                  std::string& serial);
