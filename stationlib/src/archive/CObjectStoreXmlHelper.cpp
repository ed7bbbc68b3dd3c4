#include "archive/CObjectStoreXmlHelper.h"

#include "archive/CFieldArchive.h"
#include "archive/RecordCopyError.h"
#include "base/CByteStream.h"
#include "base/FileHelpers.h"
#include "base/ModuleInfo.h"
#include "base/StringHelpers.h"

namespace {

// Binds a record to the stream it reads for the length of one Load.
class LoadSourceScope
{
public:
    LoadSourceScope(const CByteStream*& slot, const CByteStream* stream) : m_slot(slot), m_previous(slot)
    {
        m_slot = stream;
    }
    ~LoadSourceScope() { m_slot = m_previous; }
    LoadSourceScope(const LoadSourceScope&) = delete;
    LoadSourceScope& operator=(const LoadSourceScope&) = delete;

private:
    const CByteStream*& m_slot;
    const CByteStream* m_previous;
};

} // namespace

bool CObjectStoreXmlHelper::AssignFrom(const CObjectStoreXmlHelper* other, int flag)
{
    if (other == nullptr)
        return false;
    CByteStream stream;
    // Every string the record writes comes back, also one longer than the
    // station would send: a copy is whole or fails.
    stream.AcceptWrittenStrings();
    if (!other->SaveToStream(&stream))
        return false;
    stream.Rewind();
    return LoadFromStream(&stream, flag);
}

void CObjectStoreXmlHelper::AssignWhole(const CObjectStoreXmlHelper& other)
{
    if (!AssignFrom(&other, 0))
        throw RecordCopyError();
}

bool CObjectStoreXmlHelper::LoadFromStream(CByteStream* stream, int flag)
{
    if (stream == nullptr)
        return false;
    CFieldArchive archive(stream);
    LoadSourceScope scope(m_loadSource, stream);
    return Load(&archive, flag);
}

bool CObjectStoreXmlHelper::SaveToStream(CByteStream* stream) const
{
    if (stream == nullptr)
        return false;
    CFieldArchive archive(stream);
    return Save(&archive);
}

std::string CObjectStoreXmlHelper::StoreFileName(const char* kind_folder, int32_t id)
{
    std::string folder = library_folder() + kPathSeparator + "Data" + kPathSeparator + kind_folder;
    if (!create_directories(folder))
        return std::string();
    return folder + kPathSeparator + int_to_text(id) + ".xml";
}
