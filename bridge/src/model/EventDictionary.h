#pragma once

#include "model/KorvelEvent.h"

#include <cstdint>
#include <map>
#include <string>

// Event texts by type, then subtype, as the dictionary file holds them.
using EventTextMap = std::map<int32_t, std::map<int32_t, std::string>>;

// Filled once at service start, before the station worker runs; only read after.
extern EventTextMap EventsDictionary;

// Loads "dictionary_events_system.xml" from the folder of the given executable
// path. False on any fault, with its reason when asked for; entries read before
// it stay.
bool load_events_dictionary(const std::string& executable_path, std::string* reason = nullptr);

// Sets the event's text from the dictionary; false (text left empty) when its
// type or subtype has no entry.
bool lookup_event_text(KorvelEvent& event);
