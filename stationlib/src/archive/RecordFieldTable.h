#pragma once

// One table of fields per record class drives both its Load and its Save, so the
// byte form and the XML form cannot drift apart. Each row names the key, the kind
// and the member; rows appear in the record's wire order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "archive/CFieldArchive.h"
#include "base/StringHelpers.h"

class CByteStream;

using RecordBlock = std::vector<uint8_t>;

enum class FieldKind
{
    Version,      // StructVer: written as 1, read and not checked
    Int32,
    Int16,
    ByteAsInt32,  // an unsigned byte in memory, an int32 in both forms
    ByteAsInt16,  // an unsigned byte in memory, an int16 in both forms
    String,
    Date,         // the 8-byte packed date-time
    Block,        // DataSize bytes, always written (no bytes when the size is 0 or less)
    BlockIfAny,   // DataSize bytes, written only when the size is above 0
    Hook          // not a field: run in its place while loading
};

// Marks a field whose value a refresh (a non-zero load flag) keeps.
constexpr bool kDynamic = true;

template <class R>
struct RecordField
{
    FieldKind kind = FieldKind::Hook;
    const char* key = "";
    bool dynamic = false;
    int32_t R::*int32 = nullptr;  // also the size of a block
    int16_t R::*int16 = nullptr;
    uint8_t R::*byte = nullptr;
    std::string R::*text = nullptr;
    PackedDateTime R::*date = nullptr;
    RecordBlock R::*block = nullptr;
    void (R::*hook)() = nullptr;

    static RecordField Version()
    {
        RecordField f;
        f.kind = FieldKind::Version;
        f.key = "StructVer";
        return f;
    }
    static RecordField Int(const char* key, int32_t R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::Int32, key, dynamic);
        f.int32 = member;
        return f;
    }
    static RecordField Short(const char* key, int16_t R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::Int16, key, dynamic);
        f.int16 = member;
        return f;
    }
    static RecordField ByteAsInt(const char* key, uint8_t R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::ByteAsInt32, key, dynamic);
        f.byte = member;
        return f;
    }
    static RecordField ByteAsShort(const char* key, uint8_t R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::ByteAsInt16, key, dynamic);
        f.byte = member;
        return f;
    }
    static RecordField Text(const char* key, std::string R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::String, key, dynamic);
        f.text = member;
        return f;
    }
    static RecordField Date(const char* key, PackedDateTime R::*member, bool dynamic = false)
    {
        RecordField f = Keyed(FieldKind::Date, key, dynamic);
        f.date = member;
        return f;
    }
    // The block's size is the int32 member `size`, read earlier in the table.
    static RecordField Block(const char* key, int32_t R::*size, RecordBlock R::*member)
    {
        RecordField f = Keyed(FieldKind::Block, key, false);
        f.int32 = size;
        f.block = member;
        return f;
    }
    static RecordField BlockIfAny(const char* key, int32_t R::*size, RecordBlock R::*member)
    {
        RecordField f = Block(key, size, member);
        f.kind = FieldKind::BlockIfAny;
        return f;
    }
    static RecordField Then(void (R::*member)())
    {
        RecordField f;
        f.hook = member;
        return f;
    }

private:
    static RecordField Keyed(FieldKind kind, const char* key, bool dynamic)
    {
        RecordField f;
        f.kind = kind;
        f.key = key;
        f.dynamic = dynamic;
        return f;
    }
};

// A record's field table: a view of rows kept in a static array. Rows need no
// destruction, so the table stays readable while the library unloads, whatever
// thread of it still runs then.
template <class R>
class RecordFields
{
    static_assert(std::is_trivially_destructible<RecordField<R>>::value, "field rows are never destroyed");

public:
    template <size_t N>
    explicit RecordFields(const RecordField<R> (&rows)[N]) : m_begin(rows), m_end(rows + N)
    {
    }
    const RecordField<R>* begin() const { return m_begin; }
    const RecordField<R>* end() const { return m_end; }

private:
    const RecordField<R>* m_begin;
    const RecordField<R>* m_end;
};

// Reads a data block of `size` bytes into a fresh zero-filled block; a size of 0
// or less reads nothing and leaves the block empty. Over a known source stream a
// size beyond the bytes left fails before anything is allocated.
bool read_record_block(CFieldArchive& archive, const char* key, int32_t size, RecordBlock& block,
                       const CByteStream* source);
// Writes `size` bytes of the block (none for a size of 0 or less); false when the
// block holds fewer bytes than that.
bool write_record_block(CFieldArchive& archive, const char* key, int32_t size, const RecordBlock& block);

// Loads the record's fields in table order; false at the first failure, leaving
// the fields read before it changed. With `with_version` clear the StructVer row
// is skipped (the station's person and user lists carry none).
template <class R>
bool load_record_fields(const RecordFields<R>& fields, R& record, CFieldArchive* archive, int flag,
                        const CByteStream* source, bool with_version = true)
{
    if (archive == nullptr)
        return false;
    for (const RecordField<R>& f : fields) {
        const bool keep = flag != 0 && f.dynamic;
        bool ok = true;
        switch (f.kind) {
        case FieldKind::Version: {
            int32_t version = 0;
            ok = !with_version || archive->GetInt(f.key, version);
            break;
        }
        // An integer read that runs out of bytes yields 0, which the field takes
        // like any value read.
        case FieldKind::Int32: {
            int32_t value = 0;
            ok = archive->GetInt(f.key, value);
            if (!keep)
                record.*f.int32 = value;
            break;
        }
        case FieldKind::Int16: {
            int16_t value = 0;
            ok = archive->GetShort(f.key, value);
            if (!keep)
                record.*f.int16 = value;
            break;
        }
        case FieldKind::ByteAsInt32: {
            int32_t value = 0;
            ok = archive->GetInt(f.key, value);
            if (!keep)
                record.*f.byte = static_cast<uint8_t>(value);
            break;
        }
        case FieldKind::ByteAsInt16: {
            int16_t value = 0;
            ok = archive->GetShort(f.key, value);
            if (!keep)
                record.*f.byte = static_cast<uint8_t>(value);
            break;
        }
        case FieldKind::String: {
            std::string value;
            ok = archive->GetString(f.key, value);
            if (ok && !keep)
                record.*f.text = std::move(value);
            break;
        }
        case FieldKind::Date: {
            // A date missing from XML keeps the bytes it had.
            PackedDateTime scratch = record.*f.date;
            ok = archive->GetBinary(f.key, keep ? scratch.data() : (record.*f.date).data(),
                                    static_cast<int32_t>(scratch.size()));
            break;
        }
        case FieldKind::Block:
        case FieldKind::BlockIfAny:
            ok = read_record_block(*archive, f.key, record.*f.int32, record.*f.block, source);
            break;
        case FieldKind::Hook:
            (record.*f.hook)();
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

// Writes the record's fields in table order; false at the first failure.
template <class R>
bool save_record_fields(const RecordFields<R>& fields, const R& record, CFieldArchive* archive,
                        bool with_version = true)
{
    if (archive == nullptr)
        return false;
    for (const RecordField<R>& f : fields) {
        bool ok = true;
        switch (f.kind) {
        case FieldKind::Version:
            ok = !with_version || archive->SetInt(f.key, 1);
            break;
        case FieldKind::Int32:
            ok = archive->SetInt(f.key, record.*f.int32);
            break;
        case FieldKind::Int16:
            ok = archive->SetShort(f.key, record.*f.int16);
            break;
        case FieldKind::ByteAsInt32:
            ok = archive->SetInt(f.key, record.*f.byte);
            break;
        case FieldKind::ByteAsInt16:
            ok = archive->SetShort(f.key, record.*f.byte);
            break;
        case FieldKind::String:
            ok = archive->SetString(f.key, record.*f.text);
            break;
        case FieldKind::Date:
            ok = archive->SetBinary(f.key, (record.*f.date).data(), static_cast<int32_t>((record.*f.date).size()));
            break;
        case FieldKind::Block:
            ok = write_record_block(*archive, f.key, record.*f.int32, record.*f.block);
            break;
        case FieldKind::BlockIfAny:
            ok = record.*f.int32 <= 0 || write_record_block(*archive, f.key, record.*f.int32, record.*f.block);
            break;
        case FieldKind::Hook:
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}
