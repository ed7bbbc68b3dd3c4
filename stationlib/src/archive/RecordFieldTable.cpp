#include "archive/RecordFieldTable.h"

#include <new>

#include "base/CByteStream.h"

bool read_record_block(CFieldArchive& archive, const char* key, int32_t size, RecordBlock& block,
                       const CByteStream* source)
{
    block.clear();
    block.shrink_to_fit();
    if (size <= 0)
        return true;
    // A length from the wire is believed only as far as the bytes that follow it,
    // one from a document only as far as its digits (or a small zero-filled block).
    if ((source != nullptr && size > source->GetRemaining()) || !archive.HoldsBinary(key, size))
        return false;
    try {
        block.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return archive.GetBinary(key, block.data(), size);
}

bool write_record_block(CFieldArchive& archive, const char* key, int32_t size, const RecordBlock& block)
{
    const int32_t count = size > 0 ? size : 0;
    if (static_cast<size_t>(count) > block.size())
        return false;
    return archive.SetBinary(key, block.data(), count);
}
