#pragma once

// Bounds of what the library takes from files and documents it did not write.
// Each lies far above anything the system itself produces; past it the input is
// refused as unreadable, never cut.

#include <cstdint>

// TinyXML's parser descends once per nested element and overflows the stack at
// about 100,000 levels; the deepest document of the library's own (a template
// body inside its skeleton) has well under twenty.
constexpr int kMaxXmlDepth = 256;

// Every file the library reads whole is an XML document: templates, container
// files, an extracted package body. The largest real ones are a few hundred KiB;
// a parsed document takes several times its size in memory.
constexpr uint64_t kMaxXmlFileSize = 64ull << 20;

// A package's "main.xml" is one template body, a few KiB in practice; it is
// extracted beside the library and then held twice in memory while it is saved.
constexpr uint32_t kMaxPackageEntrySize = 16u << 20;

// A settings file holds a few dozen short lines; it is read into memory whole.
constexpr uint64_t kMaxSettingsFileSize = 1ull << 20;

// The station's notifications waiting for the instance's worker, which a host
// slow in its callback leaves to pile up. The largest message takes as much;
// each packet also counts a fixed cost for its bookkeeping, so that a flood of
// empty notifications is bounded too.
constexpr uint64_t kMaxPacketQueueBytes = 64ull << 20;
constexpr uint64_t kPacketQueueCostPerPacket = 64;

// As many symbolic links as the kernel itself follows within one path.
constexpr int kMaxLinkHops = 40;

// TinyXML checks each attribute it reads against every earlier one of its
// element, so an element costs it the square of its attributes: one of 80,000
// held a host's start for most of a minute. The library's own documents give an
// element a handful.
constexpr int kMaxXmlAttributes = 256;

// TinyXML allocates an object for every node and every attribute. The largest
// real documents, a few hundred KiB, hold well under 100,000 of them. A file
// filling its size bound with elements at the attribute bound would take a
// start over ten seconds and a GiB of memory; at this bound the worst document
// within the size bounds costs about a second and a half of processor time and
// a few hundred MiB.
constexpr int kMaxXmlNodes = 1 << 20;
