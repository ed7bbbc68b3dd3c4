#include "zip/CZipFile.h"

#include "zip/CZipException.h"

#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int OpenFlags(int zipFlags)
{
    int flags = O_CLOEXEC;
    switch (zipFlags & CZipFile::modeReadWrite) {
    case CZipFile::modeWrite:
        flags |= O_WRONLY;
        break;
    case CZipFile::modeReadWrite:
        flags |= O_RDWR;
        break;
    default:
        flags |= O_RDONLY;
        break;
    }
    if (zipFlags & CZipFile::modeCreate)
        flags |= O_CREAT;
    const bool readOnly = (zipFlags & CZipFile::modeReadWrite) == CZipFile::modeRead;
    if (!(zipFlags & CZipFile::modeNoTruncate) && !readOnly)
        flags |= O_TRUNC;
    return flags;
}

} // namespace

CZipFile::CZipFile(const std::string& path, int openFlags)
{
    Open(path, openFlags, true);
}

CZipFile::~CZipFile()
{
    if (m_hFile != -1)
        ::close(m_hFile);
}

bool CZipFile::Open(const std::string& path, int openFlags, bool throwOnError)
{
    if (!IsClosed())
        Close();
    m_szFileName = path;
    // A FIFO must neither block here nor pass.
    const int handle = platform::open_regular_file(path, OpenFlags(openFlags));
    if (handle == -1) {
        if (throwOnError)
            ThrowError();
        return false;
    }
    m_hFile = handle;
    return true;
}

int CZipFile::GetHandle() const
{
    if (IsClosed()) {
        errno = EBADF;
        ThrowError();
    }
    return m_hFile;
}

void CZipFile::Close()
{
    if (IsClosed())
        return;
    const int handle = m_hFile;
    m_hFile = -1;
    // The descriptor is gone even when close reports EINTR.
    if (::close(handle) != 0 && errno != EINTR)
        ThrowError();
}

void CZipFile::Flush()
{
    if (::fsync(m_hFile) != 0)
        ThrowError();
}

uint64_t CZipFile::GetPosition() const
{
    const off_t position = ::lseek(m_hFile, 0, SEEK_CUR);
    if (position == -1)
        ThrowError();
    return static_cast<uint64_t>(position);
}

uint64_t CZipFile::Seek(int64_t offset, int origin)
{
    const int whence = origin == begin ? SEEK_SET : origin == current ? SEEK_CUR : SEEK_END;
    const off_t position = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (position == -1)
        ThrowError();
    return static_cast<uint64_t>(position);
}

uint64_t CZipFile::GetLength() const
{
    struct stat info;
    if (::fstat(m_hFile, &info) != 0)
        ThrowError();
    return static_cast<uint64_t>(info.st_size);
}

bool CZipFile::SetLength(uint64_t length)
{
    return ::ftruncate(m_hFile, static_cast<off_t>(length)) == 0;
}

uint32_t CZipFile::Read(void* buffer, uint32_t count)
{
    char* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_hFile, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowError();
        }
        if (got == 0)
            break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

void CZipFile::Write(const void* buffer, uint32_t count)
{
    const char* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(m_hFile, in + done, count - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            ThrowError();
        }
        if (put == 0) {
            errno = EIO;
            ThrowError();
        }
        done += static_cast<uint32_t>(put);
    }
}

void CZipFile::ThrowError() const
{
    CZipException::Throw(errno, m_szFileName);
}
