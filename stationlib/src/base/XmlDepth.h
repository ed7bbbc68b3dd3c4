#pragma once

#include <tinyxml.h>

// Levels of elements in the tree TinyXML builds from `text` with `encoding`
// (its first element is level 1), found without building it and without
// recursion: markup is read as TinyXML reads it, its non-element nodes (text,
// CDATA, comments, declarations and whatever else follows a '<') by TinyXML's own
// node parsers, and the count ends where its parse would end, at a fault or at
// text after a top-level node. Returns at most limit + 1: the walk stops as soon
// as it passes `limit`. Like TinyXML, it reads up to three bytes past the
// terminating zero of a UTF-8 sequence cut short: `text` must have them.
int xml_element_depth(const char* text, TiXmlEncoding encoding, int limit);
