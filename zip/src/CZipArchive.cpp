#include "zip/CZipArchive.h"

#include "zip/ZipCompatibility.h"
#include "zip/ZipPlatform.h"

#include <algorithm>

CZipArchive::CZipArchive()
    : m_bCaseSensitive(ZipPlatform::kCaseSensitive)
    , m_pZipCompare(CZipString::GetCompareFunction(m_bCaseSensitive))
    , m_iArchiveSystCompatib(ZipPlatform::kSystemId)
{
    m_centralDir.Init(&m_storage);
}

CZipArchive::~CZipArchive() = default;

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
