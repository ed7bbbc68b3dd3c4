#include "zip/CZipStorage.h"

#include "zip/CZipException.h"

CZipStorage::~CZipStorage() = default;

void CZipStorage::Open(const std::string& path, int mode, uint64_t volumeSize)
{
    if (mode != 0 && mode != 1)
        CZipException::Throw(CZipException::kGeneric, path);
    m_bReadOnly = mode == 1;
    m_iCurrentDisk = -1;
    const int flags = (m_bReadOnly ? CZipFile::modeRead : CZipFile::modeReadWrite) | CZipFile::modeNoTruncate |
                      CZipFile::shareDenyWrite;
    m_internalfile.Open(path, flags, true);
    m_pFile = &m_internalfile;
    m_iVolumeSize = volumeSize;
    m_iSpanMode = volumeSize != 0 ? detectSizeSpan : detectSpan;
}

void CZipStorage::UpdateSpanMode(uint16_t diskNumber)
{
    // A spanned archive would make us open volume files named beside it, and one
    // of those could block us; they are not read.
    if (diskNumber != 0)
        ThrowError(CZipException::kBadArchive);
    m_iSpanMode = noSpan;
    m_iCurrentDisk = 0;
}

void CZipStorage::Read(void* buffer, uint32_t count, bool /*whole*/)
{
    if (count != 0 && m_pFile->Read(buffer, count) != count)
        ThrowError(CZipException::kBadArchive);
}

bool CZipStorage::IsClosed(bool archive) const
{
    return archive ? m_iCurrentDisk == -1 : m_pFile->IsClosed();
}

std::string CZipStorage::Close(bool afterException)
{
    std::string path = m_pFile->GetFilePath();
    m_iCurrentDisk = -1;
    // Nothing is ever written, so there is nothing to commit.
    if (afterException) {
        try {
            m_pFile->Close();
        } catch (const CZipException&) {
        }
    } else {
        m_pFile->Close();
    }
    return path;
}

void CZipStorage::ThrowError(int code) const
{
    CZipException::Throw(code, m_pFile->GetFilePath());
}
