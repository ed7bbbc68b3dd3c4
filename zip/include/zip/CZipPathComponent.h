#pragma once

#include <string>

// Splits a path into prefix, drive, directory, title and extension. Both '/' and
// backslash separate (our paths use '/', entry names backslashes); the parts are
// joined again with '/'. A path that starts with '/' keeps "/" as its prefix; a
// leading backslash is dropped, so entry names stay relative.
class CZipPathComponent
{
public:
    // Our own paths are Linux paths, where ':' is an ordinary character; only a
    // name an archive gives may begin with a drive ("C:\x", "C:x").
    enum PathKind
    {
        localPath,
        archiveName,
    };

    CZipPathComponent() = default;
    explicit CZipPathComponent(const std::string& path, PathKind kind = localPath) { SetFullPath(path, kind); }
    virtual ~CZipPathComponent();

    void SetFullPath(const std::string& path, PathKind kind = localPath);

    // prefix + drive + directory
    std::string GetFilePath() const;
    // title and extension
    std::string GetFileName() const;
    // directory and file name, without drive or prefix
    std::string GetNoDrive() const;
    std::string GetFullPath() const;
    const std::string& GetFileDrive() const { return m_szDrive; }
    const std::string& GetFileDir() const { return m_szDirectory; }
    const std::string& GetFileTitle() const { return m_szFileTitle; }
    const std::string& GetFileExt() const { return m_szFileExt; }
    const std::string& GetPrefix() const { return m_szPrefix; }
    void SetExtension(const std::string& extension);

    static bool IsSeparator(char c) { return c == '/' || c == '\\'; }
    static constexpr char kSeparator = '/';

private:
    std::string m_szDirectory;
    std::string m_szFileTitle;
    std::string m_szFileExt;
    std::string m_szDrive;
    std::string m_szPrefix;
};
