#pragma once

// Bounds of what the library takes from files and documents it did not write.
// Each lies far above anything the system itself produces; past it the input is
// refused as unreadable, never cut.

#include <cstdint>

// TinyXML's parser descends once per nested element and overflows the stack at
// about 100,000 levels; the deepest document of the library's own (a template
// body inside its skeleton) has well under twenty.
constexpr int kMaxXmlDepth = 256;
