#include "base/FileHelpers.h"
#include "base/InputBounds.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "testsupport/FileSizeLimit.h"
#include "testsupport/TestFolder.h"

namespace {

class FileHelpers : public ::testing::Test
{
protected:
    TestFolder temp;
    const std::string m_folder = temp.Folder();
};

TEST(PathSplitting, NamesTitlesAndParents)
{
    struct Case
    {
        std::string path;
        std::string name;
        std::string title;
        std::string parent;
    };
    const Case cases[] = {
        {"/lib/Xml/Templates/Gate.ot", "Gate.ot", "Gate", "/lib/Xml/Templates"},
        {"/pkg/plan.v2.st", "plan.v2.st", "plan.v2", "/pkg"},
        {"Gate", "Gate", "Gate", "Gate"},  // a bare name is its own parent
        {"/lib/", "", "", "/lib"},
        {"/top", "top", "top", ""},
        {"dir.d/file", "file", "file", "dir.d"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(file_name_part(c.path), c.name) << c.path;
        EXPECT_EQ(file_title(c.path), c.title) << c.path;
        EXPECT_EQ(parent_folder(c.path), c.parent) << c.path;
    }
}

TEST_F(FileHelpers, ReadAllStopsAtTheFirstZeroByte)
{
    temp.Write("zero.bin", std::string("abc\0def", 7));
    temp.Write("cp1251.txt", "\xCF\xF3\xEB\xFC\xF2\r\n");
    temp.Write("empty.txt", "");
    EXPECT_EQ(file_read_all(temp.Path("zero.bin")), "abc");
    EXPECT_EQ(file_read_all(temp.Path("cp1251.txt")), "\xCF\xF3\xEB\xFC\xF2\r\n");
    EXPECT_EQ(file_read_all(temp.Path("empty.txt")), "");
    EXPECT_EQ(file_read_all(temp.Path("missing.txt")), "");
    EXPECT_EQ(file_read_all(m_folder), "");
    EXPECT_EQ(file_read_all(""), "");
}

TEST_F(FileHelpers, ReadAllRefusesFilesAboveTheXmlBound)
{
    const struct
    {
        uint64_t size;
        const char* text;
    } cases[] = {
        {kMaxXmlFileSize, "x"},
        {kMaxXmlFileSize + 1, ""},
        {(uint64_t(1) << 32) + 1, ""},  // its low 32 size bits would read as 1
    };
    const std::string path = temp.Path("big.xml");
    for (const auto& c : cases) {
        // Sparse behind its first byte, so it costs no disk space.
        temp.Write("big.xml", "x");
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0);
        EXPECT_EQ(file_read_all(path), c.text) << c.size;
    }
}

// Absolute and relative links, a chain, a last link leading nowhere yet, a loop.
TEST_F(FileHelpers, LinkTargetIsTheFileTheLinksLeadTo)
{
    const std::string real = temp.Path("real/t.ini");
    const std::pair<const char*, std::string> links[] = {
        {"absolute", real}, {"relative", "real/t.ini"}, {"chain", "relative"}, {"loop", "loop2"}, {"loop2", "loop"}};
    for (const auto& [name, target] : links)
        ASSERT_EQ(::symlink(target.c_str(), temp.Path(name).c_str()), 0);
    const std::pair<const char*, std::string> cases[] = {
        {"absolute", real}, {"relative", real}, {"chain", real}, {"plain", temp.Path("plain")}, {"loop", ""}};
    for (const auto& [name, target] : cases)
        EXPECT_EQ(link_target(temp.Path(name)), target) << name;
}

TEST_F(FileHelpers, WriteAllCreatesAndReplaces)
{
    const std::string bytes("x\0\xFFy", 4);
    EXPECT_TRUE(file_write_all(temp.Path("out.bin"), bytes));
    EXPECT_EQ(temp.Read("out.bin"), bytes);
    EXPECT_TRUE(file_write_all(temp.Path("out.bin"), "short"));
    EXPECT_EQ(temp.Read("out.bin"), "short");
    EXPECT_TRUE(file_write_all(temp.Path("out.bin"), ""));
    EXPECT_EQ(temp.Read("out.bin"), "");
    EXPECT_FALSE(file_write_all(temp.Path("no/such/folder/out.bin"), "x"));
    EXPECT_FALSE(file_write_all(m_folder, "x"));
}

TEST_F(FileHelpers, WriteAllReportsAFullDiskAndRefusesWhatIsNoFile)
{
    {
        FileSizeLimit full(1000);
        EXPECT_FALSE(file_write_all(temp.Path("big.bin"), std::string(100000, 'x')));
    }
    // No reader ever comes: a write that waited for one would never return.
    ASSERT_EQ(::mkfifo(temp.Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(file_write_all(temp.Path("fifo"), "x"));
    EXPECT_FALSE(file_write_all("/dev/null", "x"));
}

TEST_F(FileHelpers, ExistenceAndRemoval)
{
    temp.Write("file.txt", "x");
    EXPECT_TRUE(path_exists(temp.Path("file.txt")));
    EXPECT_FALSE(is_directory(temp.Path("file.txt")));
    EXPECT_TRUE(path_exists(m_folder));
    EXPECT_TRUE(is_directory(m_folder));
    EXPECT_FALSE(path_exists(temp.Path("missing")));
    EXPECT_FALSE(path_exists(""));

    EXPECT_FALSE(file_remove(m_folder));  // folders are not removed
    EXPECT_TRUE(file_remove(temp.Path("file.txt")));
    EXPECT_FALSE(path_exists(temp.Path("file.txt")));
    EXPECT_FALSE(file_remove(temp.Path("file.txt")));
}

TEST_F(FileHelpers, CreateDirectoriesMakesEveryMissingParent)
{
    const std::string deep = temp.Path("Data/Objects/Deep");
    EXPECT_TRUE(create_directories(deep));
    EXPECT_TRUE(is_directory(deep));
    EXPECT_TRUE(create_directories(deep));  // already there

    const std::string trailing = temp.Path("Xml/Templates/");
    EXPECT_TRUE(create_directories(trailing));
    EXPECT_TRUE(is_directory(temp.Path("Xml/Templates")));

    temp.Write("plain", "x");
    EXPECT_FALSE(create_directories(temp.Path("plain/sub/dir")));  // a file in the way
}

TEST(CreateDirectories, TerminatesWhenNoParentIsLeft)
{
    EXPECT_TRUE(create_directories("/"));
    EXPECT_FALSE(create_directories(""));
    // An absolute path whose top cannot be created: each parent is tried once.
    EXPECT_FALSE(create_directories("/proc/no/such/folder"));
}

TEST(CreateDirectories, RelativePathInADeletedWorkingFolder)
{
    TestFolder temp;
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(::chdir(temp.Folder().c_str()), 0);
    ASSERT_EQ(::rmdir(temp.Folder().c_str()), 0);
    // "Data" has no parent text; the recursion must stop rather than retry itself.
    bool created = create_directories("Data");
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_FALSE(created);
}

TEST_F(FileHelpers, ListFilesGivesSortedFullPaths)
{
    for (const char* name : {"b.xml", "A.XML", "notes.txt", "c.xml.bak"})
        temp.Write(name, "x");
    ASSERT_TRUE(create_directories(temp.Path("folder.xml")));

    std::vector<std::string> out{"stale"};
    list_files(out, m_folder, "*.xml");
    EXPECT_EQ(out, (std::vector<std::string>{temp.Path("A.XML"), temp.Path("b.xml"), temp.Path("folder.xml")}));

    list_files(out, m_folder + "/", "*.TXT");
    EXPECT_EQ(out, (std::vector<std::string>{temp.Path("notes.txt")}));

    list_files(out, temp.Path("missing"), "*");
    EXPECT_TRUE(out.empty());
}

} // namespace
