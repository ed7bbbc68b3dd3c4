#pragma once

// Writes ZIP archives byte by byte for tests and benchmarks: entries are stored or
// deflated with zlib's raw deflate, and every field can be set, so damaged and
// unusual archives are as easy to make as good ones. Unset fields take the values
// a good archive would hold.

#include <boost/endian/conversion.hpp>
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ziptest {

// Raw deflate data; unfinished, the stream ends with a sync flush and no last block.
inline std::string Deflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION, bool finished = true)
{
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, finished ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != (finished ? Z_STREAM_END : Z_OK) || stream.avail_in != 0)
        throw std::runtime_error("deflate did not take all the data");
    return out;
}

inline uint32_t Crc32(const std::string& data)
{
    return static_cast<uint32_t>(
        crc32_z(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// MS-DOS time and date fields.
constexpr uint16_t DosTime(int hour, int minute, int second)
{
    return static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
}
constexpr uint16_t DosDate(int year, int month, int day)
{
    return static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
}

struct Entry
{
    enum class Descriptor
    {
        None,
        WithSignature,
        WithoutSignature,
    };

    std::string name; // raw bytes, in both headers
    std::string data; // uncompressed
    uint16_t method = 8;
    uint16_t flags = 0;
    uint8_t system = 0; // high byte of "version made by"
    uint16_t time = DosTime(12, 30, 10);
    uint16_t date = DosDate(2020, 6, 15);
    uint32_t externalAttributes = 0;
    uint16_t diskStart = 0;
    std::string extra;
    std::string localExtra;
    std::string comment;
    // Sets flag bit 3 and, unless given below, zero CRC and sizes in the local header.
    Descriptor descriptor = Descriptor::None;

    // Overrides; unset values are computed from the data.
    std::optional<std::string> payload; // the bytes stored after the local header
    std::optional<uint32_t> crc, compressedSize, uncompressedSize;
    std::optional<uint32_t> localCrc, localCompressedSize, localUncompressedSize;
    std::optional<uint32_t> descriptorCrc;
    std::optional<uint32_t> localSignature, centralSignature;
    std::optional<uint16_t> localMethod, localNameLength;
    std::optional<uint32_t> offset; // of the local header, in the central header
};

inline Entry MakeEntry(std::string name, std::string data, uint16_t method = 8)
{
    Entry entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.method = method;
    return entry;
}

struct Archive
{
    std::string stub; // bytes in front of the archive
    std::vector<Entry> entries;
    std::string comment;
    std::vector<size_t> directoryOrder; // entries in central order; empty: as written

    std::optional<uint32_t> endSignature;
    uint16_t thisDisk = 0;
    uint16_t directoryDisk = 0;
    std::optional<uint16_t> entriesOnDisk, totalEntries, commentLength;
    std::optional<uint32_t> directorySize, directoryOffset;
    std::string trailer; // bytes after the comment
};

struct Built
{
    std::string bytes;
    std::vector<uint64_t> localOffsets; // of each entry's local header in `bytes`
    std::vector<uint64_t> dataOffsets;  // of each entry's data in `bytes`
};

namespace detail {

inline void Put16(std::string& out, uint32_t value)
{
    unsigned char bytes[2];
    boost::endian::store_little_u16(bytes, static_cast<uint16_t>(value));
    out.append(reinterpret_cast<const char*>(bytes), 2);
}

inline void Put32(std::string& out, uint64_t value)
{
    unsigned char bytes[4];
    boost::endian::store_little_u32(bytes, static_cast<uint32_t>(value));
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

} // namespace detail

inline Built Build(const Archive& archive)
{
    using detail::Put16;
    using detail::Put32;
    Built built;
    std::string& out = built.bytes;
    out = archive.stub;
    struct Sums
    {
        uint32_t crc, compressed, uncompressed;
        uint16_t flags;
    };
    std::vector<Sums> sums;
    for (const Entry& e : archive.entries) {
        const std::string payload = e.payload ? *e.payload : e.method == 8 ? Deflate(e.data) : e.data;
        const bool descriptor = e.descriptor != Entry::Descriptor::None;
        const Sums s{e.crc.value_or(Crc32(e.data)), e.compressedSize.value_or(static_cast<uint32_t>(payload.size())),
                     e.uncompressedSize.value_or(static_cast<uint32_t>(e.data.size())),
                     static_cast<uint16_t>(e.flags | (descriptor ? 8 : 0))};
        sums.push_back(s);
        // Inside the archive, as its central headers give them; shifted past the stub at the end.
        built.localOffsets.push_back(out.size() - archive.stub.size());
        Put32(out, e.localSignature.value_or(0x04034B50));
        Put16(out, 20);
        Put16(out, s.flags);
        Put16(out, e.localMethod.value_or(e.method));
        Put16(out, e.time);
        Put16(out, e.date);
        Put32(out, e.localCrc.value_or(descriptor ? 0 : s.crc));
        Put32(out, e.localCompressedSize.value_or(descriptor ? 0 : s.compressed));
        Put32(out, e.localUncompressedSize.value_or(descriptor ? 0 : s.uncompressed));
        Put16(out, e.localNameLength.value_or(static_cast<uint16_t>(e.name.size())));
        Put16(out, e.localExtra.size());
        out += e.name;
        out += e.localExtra;
        built.dataOffsets.push_back(out.size());
        out += payload;
        if (descriptor) {
            if (e.descriptor == Entry::Descriptor::WithSignature)
                Put32(out, 0x08074B50);
            Put32(out, e.descriptorCrc.value_or(s.crc));
            Put32(out, s.compressed);
            Put32(out, s.uncompressed);
        }
    }
    const uint64_t directoryStart = out.size() - archive.stub.size();
    std::vector<size_t> order = archive.directoryOrder;
    if (order.empty())
        for (size_t i = 0; i < archive.entries.size(); ++i)
            order.push_back(i);
    for (size_t i : order) {
        const Entry& e = archive.entries.at(i);
        Put32(out, e.centralSignature.value_or(0x02014B50));
        Put16(out, uint32_t{e.system} << 8 | 20);
        Put16(out, 20);
        Put16(out, sums[i].flags);
        Put16(out, e.method);
        Put16(out, e.time);
        Put16(out, e.date);
        Put32(out, sums[i].crc);
        Put32(out, sums[i].compressed);
        Put32(out, sums[i].uncompressed);
        Put16(out, e.name.size());
        Put16(out, e.extra.size());
        Put16(out, e.comment.size());
        Put16(out, e.diskStart);
        Put16(out, 0);
        Put32(out, e.externalAttributes);
        Put32(out, e.offset.value_or(built.localOffsets[i]));
        out += e.name;
        out += e.extra;
        out += e.comment;
    }
    const uint64_t directorySize = out.size() - archive.stub.size() - directoryStart;
    const auto count = static_cast<uint16_t>(order.size());
    Put32(out, archive.endSignature.value_or(0x06054B50));
    Put16(out, archive.thisDisk);
    Put16(out, archive.directoryDisk);
    Put16(out, archive.entriesOnDisk.value_or(count));
    Put16(out, archive.totalEntries.value_or(count));
    Put32(out, archive.directorySize.value_or(directorySize));
    Put32(out, archive.directoryOffset.value_or(directoryStart));
    Put16(out, archive.commentLength.value_or(static_cast<uint16_t>(archive.comment.size())));
    out += archive.comment;
    out += archive.trailer;
    for (uint64_t& offset : built.localOffsets)
        offset += archive.stub.size();
    return built;
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

} // namespace ziptest
