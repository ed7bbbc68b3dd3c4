#include "zip/CZipPathComponent.h"

#include <algorithm>
#include <cctype>

namespace {

// The long-path and network prefixes start alike: "\\", "\\?\" and "\\?\UNC\".
constexpr char kLongUncPrefix[] = "\\\\?\\unc\\";

bool EndsWithSeparator(const std::string& text)
{
    return !text.empty() && CZipPathComponent::IsSeparator(text.back());
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

CZipPathComponent::~CZipPathComponent() = default;

void CZipPathComponent::SetFullPath(const std::string& fullPath, PathKind kind)
{
    std::string path = fullPath;
    const size_t length = std::min<size_t>(8, path.size());
    size_t matched = 0;
    while (matched < length && std::tolower(static_cast<unsigned char>(path[matched])) == kLongUncPrefix[matched])
        ++matched;
    m_szPrefix.clear();
    if (matched == 2 || matched == 4 || matched == 8)
        m_szPrefix = path.substr(0, matched);
    else if (!path.empty() && path[0] == '/')
        m_szPrefix = "/"; // an absolute path stays absolute
    path.erase(0, m_szPrefix.size());

    m_szDrive.clear();
    // A drive is a letter and ':' where the name begins, never behind the "/" of
    // an absolute path.
    if (kind == archiveName && m_szPrefix != "/" && path.size() >= 2 && path[1] == ':' &&
        IsDriveLetter(path[0])) {
        m_szDrive = path.substr(0, 2);
        path.erase(0, 2);
    }

    const size_t lastSeparator = path.find_last_of("/\\");
    std::string name = path;
    m_szDirectory.clear();
    if (lastSeparator != std::string::npos) {
        m_szDirectory = path.substr(0, lastSeparator);
        name = path.substr(lastSeparator + 1);
    }
    const size_t dot = name.rfind('.');
    m_szFileTitle = name.substr(0, dot);
    SetExtension(dot == std::string::npos ? std::string() : name.substr(dot));

    const size_t first = m_szDirectory.find_first_not_of("/\\");
    const size_t last = m_szDirectory.find_last_not_of("/\\");
    m_szDirectory = first == std::string::npos ? std::string() : m_szDirectory.substr(first, last - first + 1);
    std::replace(m_szDirectory.begin(), m_szDirectory.end(), '\\', kSeparator);
}

std::string CZipPathComponent::GetFilePath() const
{
    std::string path = m_szPrefix + m_szDrive;
    if (!m_szDrive.empty() && !m_szDirectory.empty())
        path += kSeparator;
    return path + m_szDirectory;
}

std::string CZipPathComponent::GetFileName() const
{
    return m_szFileExt.empty() ? m_szFileTitle : m_szFileTitle + '.' + m_szFileExt;
}

std::string CZipPathComponent::GetNoDrive() const
{
    const std::string fileName = GetFileName();
    if (m_szDirectory.empty() || fileName.empty())
        return m_szDirectory + fileName;
    return m_szDirectory + kSeparator + fileName;
}

std::string CZipPathComponent::GetFullPath() const
{
    std::string path = GetFilePath();
    const std::string fileName = GetFileName();
    if (fileName.empty())
        return path;
    if (!path.empty() && !EndsWithSeparator(path))
        path += kSeparator;
    return path + fileName;
}

void CZipPathComponent::SetExtension(const std::string& extension)
{
    const size_t start = extension.find_first_not_of('.');
    m_szFileExt = start == std::string::npos ? std::string() : extension.substr(start);
}
