#pragma once

#include "base/InputBounds.h"

#include <tinyxml.h>

// What the tree TinyXML builds from a text costs it.
struct XmlShape
{
    int depth = 0;       // levels of elements, its first element being level 1
    int attributes = 0;  // attributes of its widest element
    int nodes = 0;       // nodes below the document, each attribute counted as one
};

// The shape of the tree TinyXML builds from `text` with `encoding`, found
// without building it and without recursion: markup is read as TinyXML reads
// it, its non-element nodes (text, CDATA, comments, declarations and whatever
// else follows a '<') by TinyXML's own node parsers, and the count ends where
// its parse would end, at a fault or at text after a top-level node. The walk
// stops as soon as one count passes its bound in `bounds`, that count then being
// one past it. Like TinyXML, it reads up to three bytes past the terminating
// zero of a UTF-8 sequence cut short: `text` must have them.
XmlShape xml_shape(const char* text, TiXmlEncoding encoding, const XmlShape& bounds);

// The shape of the tree TinyXML built below `node`, counted as xml_shape counts
// it: what the measure must agree with.
XmlShape xml_tree_shape(const TiXmlNode* node);

// Whether one count of `shape` passes its bound.
bool xml_shape_exceeds(const XmlShape& shape, const XmlShape& bounds);

// The bounds every text the library parses is held to.
constexpr XmlShape kMaxXmlShape{kMaxXmlDepth, kMaxXmlAttributes, kMaxXmlNodes};

// Whether TinyXML may be given the text: its shape within kMaxXmlShape.
bool xml_within_bounds(const char* text, TiXmlEncoding encoding);
