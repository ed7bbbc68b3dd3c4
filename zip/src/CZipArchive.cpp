#include "zip/CZipArchive.h"

#include "zip/CZipPathComponent.h"
#include "zip/ZipCompatibility.h"
#include "zip/ZipPlatform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Open flags of an extraction target: write, create, truncate.
constexpr int kTargetOpenFlags = CZipFile::modeWrite | CZipFile::modeCreate | CZipFile::shareDenyWrite;

std::string WithoutTrailingSeparators(std::string path)
{
    while (!path.empty() && CZipPathComponent::IsSeparator(path.back()))
        path.pop_back();
    return path;
}

std::string WithSlashes(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', CZipPathComponent::kSeparator);
    return path;
}

// What an entry adds below the target folder must stay below it, and a NUL byte
// would make the file system write another name.
bool StaysInsideFolder(const std::string& part)
{
    if (part.find('\0') != std::string::npos || (!part.empty() && part[0] == CZipPathComponent::kSeparator))
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = part.find(CZipPathComponent::kSeparator, start);
        if (part.compare(start, end - start, "..") == 0)
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

} // namespace

CZipArchive::CZipArchive()
    : m_bCaseSensitive(ZipPlatform::kCaseSensitive)
    , m_pZipCompare(CZipString::GetCompareFunction(m_bCaseSensitive))
    , m_iArchiveSystCompatib(ZipPlatform::kSystemId)
{
    m_centralDir.Init(&m_storage);
    m_info.m_stream.zalloc = &ZlibAlloc;
    m_info.m_stream.zfree = &ZlibFree;
}

CZipArchive::~CZipArchive()
{
    // An entry left open keeps zlib's blocks; they go here, and the stream with them.
    FreeZlibBlocks();
    m_info.Release();
}

voidpf CZipArchive::ZlibAlloc(voidpf opaque, uInt items, uInt size)
{
    void* const block = std::calloc(items, size);
    if (block == nullptr || opaque == nullptr)
        return block;
    try {
        static_cast<ZlibBlocks*>(opaque)->push_back(block);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return block;
}

void CZipArchive::ZlibFree(voidpf opaque, voidpf address)
{
    if (opaque != nullptr) {
        ZlibBlocks& blocks = *static_cast<ZlibBlocks*>(opaque);
        const auto found = std::find(blocks.begin(), blocks.end(), address);
        if (found != blocks.end())
            blocks.erase(found);
    }
    std::free(address);
}

void CZipArchive::FreeZlibBlocks()
{
    // zlib's state is among them: its stream can no longer be ended.
    if (!m_zlibBlocks.empty())
        m_info.AbandonInflate();
    for (void* block : m_zlibBlocks)
        std::free(block);
    m_zlibBlocks.clear();
}

void CZipArchive::EndEntry()
{
    m_iFileOpened = 0;
    FreeZlibBlocks();
    m_info.Release();
}

void CZipArchive::Open(const std::string& path, int mode, uint64_t volumeSize)
{
    if (!IsClosed())
        return;
    // Only existing archives are read; creating one touches nothing.
    if (mode != zipOpen && mode != zipOpenReadOnly)
        ThrowError(CZipException::kGeneric);
    m_storage.Open(path, mode, volumeSize);
    try {
        OpenInternal(mode);
    } catch (...) {
        m_centralDir.Clear();
        m_storage.Close(true);
        throw;
    }
}

void CZipArchive::OpenInternal(int mode)
{
    m_iFileOpened = 0;
    m_centralDir.Init(&m_storage);
    m_iArchiveSystCompatib = ZipPlatform::kSystemId;
    m_szRootPath.clear();
    if (mode == zipOpen || mode == zipOpenReadOnly)
        m_centralDir.Read();
    if (GetCount() > 0) {
        const int system = m_centralDir[0]->GetSystemCompatibility();
        if (ZipCompatibility::IsPlatformSupported(system))
            m_iArchiveSystCompatib = system;
    }
}

bool CZipArchive::GetFileInfo(CZipFileHeader& header, int index) const
{
    const int entry = static_cast<uint16_t>(index);
    if (IsClosed() || !m_centralDir.IsValidIndex(entry))
        return false;
    header = *m_centralDir[entry];
    if (!m_centralDir.m_bConvertAfterOpen)
        header.ConvertFileName();
    return true;
}

void CZipArchive::Close(bool afterException, bool updateTime)
{
    if (IsClosed() && !(afterException && !IsClosed(false)))
        return;
    if (m_iFileOpened == -1)
        CloseFile(std::string(), afterException);
    std::time_t newest = 0;
    if (updateTime) {
        for (int i = 0; i < GetCount(); ++i)
            newest = std::max(newest, m_centralDir[i]->GetTime());
    }
    m_centralDir.Clear();
    const std::string path = m_storage.Close(afterException);
    if (updateTime && !path.empty())
        ZipPlatform::SetPathTime(path, newest);
}

void CZipArchive::ThrowError(int code, bool zlib) const
{
    if (zlib)
        code = CZipException::ZlibErrorToZipError(code);
    CZipException::Throw(code, IsClosed() ? std::string() : m_storage.GetFilePath());
}

void CZipArchive::CheckZlibResult(int result) const
{
    if (result != Z_OK && result != Z_NEED_DICT)
        ThrowError(result, true);
}

void CZipArchive::SetCallback(CZipProgressCallback* callback, int kind)
{
    if (callback)
        m_callbacks[kind] = callback;
    else
        m_callbacks.erase(kind);
}

CZipProgressCallback* CZipArchive::GetCallback(int kind) const
{
    const auto found = m_callbacks.find(kind);
    return found == m_callbacks.end() ? nullptr : found->second;
}

std::string CZipArchive::ExtractedName(const std::string& name, bool fullPath) const
{
    const std::string trimmed = WithoutTrailingSeparators(name);
    const CZipPathComponent parts(trimmed, CZipPathComponent::archiveName);
    if (fullPath)
        return m_bRemoveDriveLetter ? parts.GetNoDrive() : WithSlashes(trimmed);
    const std::string below = BelowRootPath(trimmed);
    return below.empty() ? parts.GetFileName() : below;
}

std::string CZipArchive::BelowRootPath(const std::string& name) const
{
    const std::string root = WithSlashes(WithoutTrailingSeparators(m_szRootPath));
    const std::string path = WithSlashes(name);
    // Only a whole folder of the name counts, so "ab/x" is not below "a".
    if (root.empty() || path.size() <= root.size() || path[root.size()] != CZipPathComponent::kSeparator ||
        m_pZipCompare(path.substr(0, root.size()), root) != 0)
        return std::string();
    const size_t rest = path.find_first_not_of(CZipPathComponent::kSeparator, root.size());
    return rest == std::string::npos ? std::string() : path.substr(rest);
}

std::string CZipArchive::GetExtractPath(const std::string& entryName, const std::string& folder, bool fullPath,
                                        const std::string& newName) const
{
    const std::string& name = newName.empty() ? entryName : newName;
    if (name.empty())
        return folder;
    if (folder.empty())
        return ExtractedName(name, fullPath);
    return WithoutTrailingSeparators(folder) + CZipPathComponent::kSeparator + ExtractedName(name, fullPath);
}

bool CZipArchive::OpenFile(int index)
{
    const int entry = static_cast<uint16_t>(index);
    if (IsClosed() || !m_centralDir.IsValidIndex(entry) || m_iFileOpened != 0)
        return false;
    try {
        const CZipFileHeader& header = *m_centralDir[entry];
        m_info.Init(header.m_uComprSize, header.m_uUncomprSize);
        m_centralDir.OpenFile(static_cast<uint16_t>(entry));
        // The local header may have changed the flags.
        if (header.IsEncrypted())
            ThrowError(CZipException::kBadPassword);
        if (header.m_uMethod == 0) {
            // A stored copy whose two sizes differ would run past one of them.
            if (header.m_uComprSize != header.m_uUncomprSize)
                ThrowError(CZipException::kBadArchive);
        } else if (header.m_uMethod == 8) {
            m_info.m_stream.opaque = m_bDetectZlibMemoryLeaks ? &m_zlibBlocks : nullptr;
            CheckZlibResult(m_info.StartInflate());
        } else {
            ThrowError(CZipException::kBadArchive);
        }
    } catch (...) {
        m_centralDir.CloseFile(true, false);
        EndEntry();
        throw;
    }
    m_iFileOpened = -1;
    return true;
}

bool CZipArchive::FillInput()
{
    z_stream& stream = m_info.m_stream;
    const uint32_t count = std::min(m_info.m_uComprLeft, m_info.m_iBufferSize);
    stream.next_in = reinterpret_cast<Bytef*>(m_info.m_pBuffer.GetBuffer());
    if (count != 0) {
        m_storage.Read(stream.next_in, count, false);
        m_info.m_uComprLeft -= count;
        stream.avail_in = count;
        return true;
    }
    if (m_centralDir.m_pOpenedFile->m_uMethod != 8 || m_info.m_bExtraByteOffered)
        return false;
    stream.next_in[0] = 0;
    stream.avail_in = 1;
    m_info.m_bExtraByteOffered = true;
    return true;
}

uint32_t CZipArchive::Inflate()
{
    z_stream& stream = m_info.m_stream;
    const uLong before = stream.total_out;
    const uInt inputBefore = stream.avail_in;
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    const auto count = static_cast<uint32_t>(stream.total_out - before);
    m_info.m_bStreamEnded = result == Z_STREAM_END;
    // inflate always has input here, so Z_BUF_ERROR says it wants room for
    // output beyond the declared size.
    if (!m_info.m_bStreamEnded)
        CheckZlibResult(result);
    if (count == 0 && stream.avail_in == inputBefore && !m_info.m_bStreamEnded)
        ThrowError(CZipException::kBadArchive); // stuck
    return count;
}

void CZipArchive::InflatePastDeclaredSize()
{
    // The rest may end the stream or produce nothing, as a flushed stream
    // never finished does; a byte more is output past the declared size. The
    // extra byte is not offered: it could complete a symbol of its own.
    z_stream& stream = m_info.m_stream;
    Bytef scratch[256];
    while (!m_info.m_bStreamEnded) {
        if (stream.avail_in == 0) {
            if (m_info.m_uComprLeft == 0)
                return;
            FillInput();
        }
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        if (Inflate() != 0)
            ThrowError(Z_BUF_ERROR, true);
    }
}

uint32_t CZipArchive::ReadFile(void* buffer, uint32_t size)
{
    if (m_iFileOpened != -1 || buffer == nullptr || size == 0 || m_info.m_bStreamEnded)
        return 0;
    const bool deflated = m_centralDir.m_pOpenedFile->m_uMethod == 8;
    z_stream& stream = m_info.m_stream;
    stream.next_out = static_cast<Bytef*>(buffer);
    stream.avail_out = std::min(m_info.m_uUncomprLeft, size);
    uint32_t produced = 0;
    while (stream.avail_out > 0) {
        if (stream.avail_in == 0 && !FillInput())
            ThrowError(CZipException::kBadArchive); // the data end before the stream does
        Bytef* const out = stream.next_out;
        uint32_t count = 0;
        if (deflated) {
            count = Inflate();
        } else {
            count = std::min(stream.avail_out, stream.avail_in);
            std::memcpy(stream.next_out, stream.next_in, count);
            stream.next_in += count;
            stream.avail_in -= count;
            stream.next_out += count;
            stream.avail_out -= count;
            stream.total_out += count;
        }
        m_info.m_uCrc32 = static_cast<uint32_t>(crc32(m_info.m_uCrc32, out, count));
        m_info.m_uUncomprLeft -= count;
        produced += count;
        if (m_info.m_bStreamEnded)
            break;
    }
    // In the call that gives the last declared byte, so that no caller counts an
    // entry holding more as extracted.
    if (deflated && m_info.m_uUncomprLeft == 0)
        InflatePastDeclaredSize();
    return produced;
}

int CZipArchive::CloseFile(const std::string& targetPath, bool afterException)
{
    if (m_iFileOpened != -1)
        return 0;
    int result = 1;
    const bool allProduced = m_info.m_uUncomprLeft == 0;
    if (!afterException) {
        const CZipFileHeader& header = *m_centralDir.m_pOpenedFile;
        if (!allProduced)
            result = -1;
        else if (!m_bIgnoreCRC && m_info.m_uCrc32 != header.m_uCrc32)
            ThrowError(CZipException::kBadCrc);
        m_info.EndInflate();
        if (!targetPath.empty()) {
            if (!ZipPlatform::SetPathTime(targetPath, header.GetTime()) ||
                !ZipPlatform::SetPathAttributes(targetPath, header.GetSystemAttr()))
                result = -2;
        }
    }
    // A descriptor is found where the data end; read only once they were all read.
    m_centralDir.CloseFile(afterException, allProduced);
    EndEntry();
    return result;
}

int CZipArchive::CloseFile(CZipFile& target)
{
    const std::string path = target.GetFilePath();
    try {
        target.Close();
    } catch (...) {
        CloseFile(std::string(), true);
        throw;
    }
    return CloseFile(path, false);
}

bool CZipArchive::ExtractFile(int index, const std::string& folder, bool fullPath, const std::string& newName,
                              uint32_t bufferSize)
{
    CZipFileHeader header;
    if (bufferSize == 0 || !GetFileInfo(header, index))
        return false;
    const std::string name = header.GetFileName();
    if (!StaysInsideFolder(ExtractedName(newName.empty() ? name : newName, fullPath)))
        ThrowError(CZipException::kBadArchive);
    const std::string target = GetExtractPath(name, folder, fullPath, newName);

    CZipProgressCallback* const callback = GetCallback(CZipProgressCallback::cbExtract);
    if (callback) {
        callback->m_iType = CZipProgressCallback::cbExtract;
        callback->Begin(name, target);
    }
    if (header.IsDirectory()) {
        if (callback)
            callback->SetTotalBytes(0);
        ZipPlatform::ForceDirectory(target);
        ZipPlatform::SetPathAttributes(target, header.GetSystemAttr());
        if (callback)
            callback->Finish();
        return true;
    }
    if (callback)
        callback->SetTotalBytes(header.m_uUncomprSize);
    if (!OpenFile(index))
        return false;

    // A target that cannot be made or written ends the entry, so the archive stays
    // usable; errors of the archive's data leave it open, as a CRC error does.
    const auto onTarget = [this](auto&& action) {
        try {
            action();
        } catch (...) {
            CloseFile(std::string(), true);
            throw;
        }
    };
    CZipFile file;
    onTarget([&] {
        ZipPlatform::ForceDirectory(CZipPathComponent(target).GetFilePath());
        file.Open(target, kTargetOpenFlags, true);
    });
    CZipAutoBuffer buffer(bufferSize);
    int stopCode = 0;
    uint32_t count = 0;
    do {
        count = ReadFile(buffer.GetBuffer(), bufferSize);
        if (count == 0)
            break;
        onTarget([&] { file.Write(buffer.GetBuffer(), count); });
        if (callback && !callback->Progress(count)) {
            char more;
            stopCode = count == bufferSize && ReadFile(&more, 1) > 0 ? CZipException::kStopped
                                                                     : CZipException::kStoppedAfterData;
            break;
        }
    } while (count == bufferSize);

    const int result = CloseFile(file);
    if (callback)
        callback->Finish();
    if (stopCode == CZipException::kStoppedAfterData && result != 1)
        stopCode = CZipException::kStopped;
    if (stopCode != 0)
        CZipException::Throw(stopCode, target);
    return result == 1;
}
