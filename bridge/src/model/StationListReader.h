#pragma once

#include "model/KorvelElement.h"
#include "model/KorvelEvent.h"

#include <string>

// Readers of the station library's list documents: a root element holding one
// element per record, each field a child with attribute "name" and the value as
// its text. Integers are taken as the library writes them: int32 in unsigned
// decimal, so "4294967295" is -1.

// Reads an "objectlist", "sensorlist" or "objectgrouplist" document into
// `elements`. An element already under a record's ID is updated in place and
// keeps its state level and children. False on any fault; records read before
// it stay in the map.
bool parse_element_list(const std::string& text, const std::string& root_tag, ElementMap& elements);

// Appends the events of an "eventlist" document in document order. True when
// the list holds at least one event and the document read without fault.
bool parse_event_list(const std::string& text, KorvelEventList& events);
