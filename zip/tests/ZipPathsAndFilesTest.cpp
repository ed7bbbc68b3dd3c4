#include "zip/CZipArchive.h"
#include "zip/CZipFile.h"
#include "zip/CZipPathComponent.h"
#include "zip/ZipCompatibility.h"
#include "zip/ZipPlatform.h"

#include "testsupport/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <functional>
#include <fstream>

namespace {

using testsupport::TempFolder;

int CauseOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CZipException& e) {
        return e.m_iCause;
    }
    return 0;
}

mode_t ModeOf(const std::string& path)
{
    struct stat info = {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

struct SplitCase
{
    const char* path;
    const char* prefix;
    const char* drive;
    const char* directory;
    const char* title;
    const char* extension;
    const char* filePath;
    const char* noDrive;
    CZipPathComponent::PathKind kind = CZipPathComponent::archiveName;
};

void PrintTo(const SplitCase& c, std::ostream* out)
{
    *out << c.path;
}

class PathSplitting : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(PathSplitting, SplitsAndJoinsWithSlash)
{
    const SplitCase& c = GetParam();
    const CZipPathComponent path(c.path, c.kind);
    EXPECT_EQ(path.GetPrefix(), c.prefix);
    EXPECT_EQ(path.GetFileDrive(), c.drive);
    EXPECT_EQ(path.GetFileDir(), c.directory);
    EXPECT_EQ(path.GetFileTitle(), c.title);
    EXPECT_EQ(path.GetFileExt(), c.extension);
    EXPECT_EQ(path.GetFilePath(), c.filePath);
    EXPECT_EQ(path.GetNoDrive(), c.noDrive);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitting,
    ::testing::Values(SplitCase{"\\\\?\\UNC\\srv\\x.ot", "\\\\?\\UNC\\", "", "srv", "x", "ot", "\\\\?\\UNC\\srv",
                                "srv/x.ot"},
                      SplitCase{"\\\\server\\share\\f", "\\\\", "", "server/share", "f", "", "\\\\server/share",
                                "server/share/f"},
                      SplitCase{"\\\\?\\C:\\a.b", "\\\\?\\", "C:", "", "a", "b", "\\\\?\\C:", "a.b"},
                      SplitCase{"C:\\sub\\", "", "C:", "sub", "", "", "C:/sub", "sub"},
                      SplitCase{"\\dir\\f.txt", "", "", "dir", "f", "txt", "dir", "dir/f.txt"},
                      SplitCase{"a.tar.gz", "", "", "", "a.tar", "gz", "", "a.tar.gz"},
                      SplitCase{".profile", "", "", "", "", "profile", "", ".profile"},
                      SplitCase{"/opt/app/Gate.ot", "/", "", "opt/app", "Gate", "ot", "/opt/app", "opt/app/Gate.ot"},
                      SplitCase{"/Gate.ot", "/", "", "", "Gate", "ot", "/", "Gate.ot"},
                      SplitCase{"a/b\\c\\d.xml", "", "", "a/b/c", "d", "xml", "a/b/c", "a/b/c/d.xml"},
                      // A drive only where an archive's name begins, and only a letter.
                      SplitCase{"C:x", "", "C:", "", "x", "", "C:", "x"},
                      SplitCase{"1:x", "", "", "", "1:x", "", "", "1:x"},
                      SplitCase{"/x:y/Gate.ot", "/", "", "x:y", "Gate", "ot", "/x:y", "x:y/Gate.ot"},
                      SplitCase{"x:y/Gate.ot", "", "", "x:y", "Gate", "ot", "x:y", "x:y/Gate.ot",
                                CZipPathComponent::localPath}));

TEST(ZipPlatformFolders, ForceDirectoryMakesNestedFoldersAndEndsAtRoot)
{
    TempFolder temp;
    EXPECT_TRUE(ZipPlatform::ForceDirectory(temp / "a/b/c/"));
    EXPECT_EQ(ZipPlatform::GetPathKind(temp / "a/b/c"), -1);
    EXPECT_TRUE(ZipPlatform::ForceDirectory("/"));
    EXPECT_TRUE(ZipPlatform::ForceDirectory(""));
    std::ofstream(temp / "file") << "x";
    EXPECT_EQ(ZipPlatform::GetPathKind(temp / "file"), 1);
    EXPECT_EQ(ZipPlatform::GetPathKind(temp / "missing"), 0);
    EXPECT_FALSE(ZipPlatform::ForceDirectory(temp / "file/sub"));
}

TEST(ZipPlatformFolders, DirectoryExistsLeavesTheCurrentFolder)
{
    TempFolder temp;
    char before[PATH_MAX];
    char after[PATH_MAX];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    EXPECT_TRUE(ZipPlatform::DirectoryExists(temp.path()));
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

TEST(ZipPlatformFiles, AttributesMapReadOnlyOnFilesAndSpareFolders)
{
    TempFolder temp;
    std::ofstream(temp / "f") << "x";
    chmod((temp / "f").c_str(), 0664);
    EXPECT_TRUE(ZipPlatform::SetPathAttributes(temp / "f", 0x01 | 0x02 | 0x04 | 0x20));
    EXPECT_EQ(ModeOf(temp / "f"), 0444u);
    EXPECT_TRUE(ZipPlatform::SetPathAttributes(temp / "f", 0x20));
    EXPECT_EQ(ModeOf(temp / "f"), 0644u);
    chmod(temp.path().c_str(), 0755);
    EXPECT_TRUE(ZipPlatform::SetPathAttributes(temp.path(), 0x11));
    EXPECT_EQ(ModeOf(temp.path()), 0755u);
    EXPECT_FALSE(ZipPlatform::SetPathAttributes(temp / "missing", 0));
}

TEST(ZipPlatformFiles, RemoveAndRenameRaiseTheirCodesAndNeverReplace)
{
    TempFolder temp;
    std::ofstream(temp / "old") << "old";
    std::ofstream(temp / "new") << "new";
    EXPECT_EQ(CauseOf([&] { ZipPlatform::RenameFile(temp / "old", temp / "new"); }), 114);
    EXPECT_FALSE(ZipPlatform::RenameFile(temp / "old", temp / "new", false));
    EXPECT_TRUE(ZipPlatform::RenameFile(temp / "old", temp / "moved"));
    EXPECT_TRUE(ZipPlatform::RemoveFile(temp / "new"));
    EXPECT_EQ(CauseOf([&] { ZipPlatform::RemoveFile(temp / "new"); }), 113);
    EXPECT_FALSE(ZipPlatform::RemoveFile(temp / "new", false));
    EXPECT_GT(ZipPlatform::GetDriveFreeSpace(temp.path()), 0u);
    EXPECT_EQ(ZipPlatform::GetDriveFreeSpace(temp / "missing"), 0u);
}

TEST(ZipPlatformFiles, OnlyRegularFilesOpen)
{
    TempFolder temp;
    ASSERT_EQ(mkfifo((temp / "fifo").c_str(), 0600), 0);
    CZipFile file;
    EXPECT_EQ(CauseOf([&] { file.Open(temp / "fifo", CZipFile::modeRead, true); }), EINVAL);
    EXPECT_FALSE(file.Open(temp.path(), CZipFile::modeRead, false));
}

struct AttributeCase
{
    uint32_t attributes;
    int from;
    int to;
    uint32_t expected;
};

class AttributeConversion : public ::testing::TestWithParam<AttributeCase>
{
};

TEST_P(AttributeConversion, ConvertsThroughMsDosForm)
{
    const AttributeCase& c = GetParam();
    EXPECT_EQ(ZipCompatibility::ConvertFileAttributes(c.attributes, c.from, c.to), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, AttributeConversion,
    ::testing::Values(AttributeCase{0x81A40000, 3, 0, 0x20},     // rw-r--r-- file: archive
                      AttributeCase{0x81240000, 3, 0, 0x21},     // r--r--r--: read-only, archive
                      AttributeCase{0x41ED0000, 3, 0, 0x10},     // rwxr-xr-x folder
                      AttributeCase{0x00000000, 3, 0, 0x23},     // no permission at all
                      AttributeCase{0x10, 0, 3, 0x41B40010},     // folder
                      AttributeCase{0x01, 0, 3, 0x81240000},     // read-only
                      AttributeCase{0x02, 0, 3, 0x80900000},     // hidden
                      AttributeCase{0x03, 0, 3, 0x80000000},     // both
                      AttributeCase{0x37, 7, 0, 0x11},           // Macintosh keeps two bits
                      AttributeCase{0x1234, 10, 6, 0x1234},      // identities
                      AttributeCase{0x1234, 11, 0, 0x1234}));    // unknown systems pass

TEST(AttributeConversionFailure, SystemsWithoutConverterRaise115)
{
    EXPECT_EQ(CauseOf([] { ZipCompatibility::ConvertFileAttributes(0, 1, 0); }), 115);
    EXPECT_EQ(CauseOf([] { ZipCompatibility::ConvertFileAttributes(0, 0, 9); }), 115);
}

TEST(ZipErrors, ZlibResultsMapToTheirCodes)
{
    const std::pair<int, int> table[] = {{Z_STREAM_END, 500}, {Z_NEED_DICT, 501},    {Z_ERRNO, 502},
                                         {Z_STREAM_ERROR, 503}, {Z_DATA_ERROR, 504}, {Z_MEM_ERROR, 505},
                                         {Z_BUF_ERROR, 506},    {Z_VERSION_ERROR, 507}, {Z_OK, 100},
                                         {-7, 100}};
    for (const auto& [zlib, zip] : table)
        EXPECT_EQ(CZipException::ZlibErrorToZipError(zlib), zip) << zlib;
    CZipArchive closed;
    EXPECT_EQ(CauseOf([&] { closed.ThrowError(Z_DATA_ERROR, true); }), 504);
    EXPECT_EQ(CauseOf([&] { closed.ThrowError(ENOENT); }), ENOENT);
}

TEST(ZipText, FormatStringReturnsLongTextsWhole)
{
    const std::string long_text(5000, 'x');
    EXPECT_EQ(FormatString("%s-%03d", long_text.c_str(), 7), long_text + "-007");
    EXPECT_EQ(FormatString("pkback# %.3d", 2), "pkback# 002");
    EXPECT_EQ(CZipString::GetCompareFunction(false)("Main.XML", "main.xml"), 0);
    EXPECT_GT(CZipString::GetCompareFunction(true, false)("b", "B"), 0);
    EXPECT_EQ(CZipString::GetCompareFunction(false, false)("MAIN", "main"), 0);
}

} // namespace
