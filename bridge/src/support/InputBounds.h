#pragma once

// Bounds of what the bridge reads from files and documents it did not write.
// Each lies far above anything a real installation holds; past it the input is
// refused as unreadable, never cut.

#include <cstdint>

// The XML reader of the property trees descends once per nested element, so a
// document nested deeply enough overflows the stack. Documents are measured
// before they are read; the bridge's own need four levels.
constexpr int kMaxXmlDepth = 256;

// "connection.ini" holds six settings and their comments, a few hundred bytes
// (a password may run to some thousands of characters); it is read line by line.
constexpr uint64_t kMaxSettingsFileSize = 1ull << 20;

// "dictionary_events_system.xml" names the station's event types and subtypes,
// some tens of KiB; it is read whole and its property tree takes several times
// the file's size in memory.
constexpr uint64_t kMaxDictionaryFileSize = 16ull << 20;
