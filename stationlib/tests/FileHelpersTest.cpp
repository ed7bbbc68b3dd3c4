#include "FileHelpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestFolder.h"

namespace {

class FileHelpers : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const { return m_temp.Path(name); }
    void write(const std::string& name, const std::string& bytes) const { m_temp.Write(name, bytes); }
    std::string read(const std::string& name) const { return m_temp.Read(name); }

    TestFolder m_temp;
    const std::string m_folder = m_temp.Folder();
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
    write("zero.bin", std::string("abc\0def", 7));
    write("cp1251.txt", "\xCF\xF3\xEB\xFC\xF2\r\n");
    write("empty.txt", "");
    EXPECT_EQ(file_read_all(path("zero.bin")), "abc");
    EXPECT_EQ(file_read_all(path("cp1251.txt")), "\xCF\xF3\xEB\xFC\xF2\r\n");
    EXPECT_EQ(file_read_all(path("empty.txt")), "");
    EXPECT_EQ(file_read_all(path("missing.txt")), "");
    EXPECT_EQ(file_read_all(m_folder), "");
    EXPECT_EQ(file_read_all(""), "");
}

TEST_F(FileHelpers, ReadAllRefusesFilesOfFourGigabytes)
{
    // Sparse, so it costs no disk space; its low 32 size bits would read as 1.
    const std::string big = path("big.bin");
    int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 1), 0);
    ::close(fd);
    EXPECT_EQ(file_read_all(big), "");
}

TEST_F(FileHelpers, WriteAllCreatesAndReplaces)
{
    const std::string bytes("x\0\xFFy", 4);
    EXPECT_TRUE(file_write_all(path("out.bin"), bytes));
    EXPECT_EQ(read("out.bin"), bytes);
    EXPECT_TRUE(file_write_all(path("out.bin"), "short"));
    EXPECT_EQ(read("out.bin"), "short");
    EXPECT_TRUE(file_write_all(path("out.bin"), ""));
    EXPECT_EQ(read("out.bin"), "");
    EXPECT_FALSE(file_write_all(path("no/such/folder/out.bin"), "x"));
    EXPECT_FALSE(file_write_all(m_folder, "x"));
}

TEST(FileHelpersFull, WriteAllReportsAFullDevice)
{
    // /dev/full accepts the open and fails every write with ENOSPC.
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(file_write_all("/dev/full", std::string(100000, 'x')));
}

TEST_F(FileHelpers, ExistenceAndRemoval)
{
    write("file.txt", "x");
    EXPECT_TRUE(path_exists(path("file.txt")));
    EXPECT_FALSE(is_directory(path("file.txt")));
    EXPECT_TRUE(path_exists(m_folder));
    EXPECT_TRUE(is_directory(m_folder));
    EXPECT_FALSE(path_exists(path("missing")));
    EXPECT_FALSE(path_exists(""));

    EXPECT_FALSE(file_remove(m_folder));  // folders are not removed
    EXPECT_TRUE(file_remove(path("file.txt")));
    EXPECT_FALSE(path_exists(path("file.txt")));
    EXPECT_FALSE(file_remove(path("file.txt")));
}

TEST_F(FileHelpers, CreateDirectoriesMakesEveryMissingParent)
{
    const std::string deep = path("Data/Objects/Deep");
    EXPECT_TRUE(create_directories(deep));
    EXPECT_TRUE(is_directory(deep));
    EXPECT_TRUE(create_directories(deep));  // already there

    const std::string trailing = path("Xml/Templates/");
    EXPECT_TRUE(create_directories(trailing));
    EXPECT_TRUE(is_directory(path("Xml/Templates")));

    write("plain", "x");
    EXPECT_FALSE(create_directories(path("plain/sub/dir")));  // a file in the way
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
    char pattern[] = "/tmp/file_helpers_cwd_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(::chdir(pattern), 0);
    ASSERT_EQ(::rmdir(pattern), 0);
    // "Data" has no parent text; the recursion must stop rather than retry itself.
    bool created = create_directories("Data");
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_FALSE(created);
}

TEST_F(FileHelpers, ListFilesGivesSortedFullPaths)
{
    for (const char* name : {"b.xml", "A.XML", "notes.txt", "c.xml.bak"})
        write(name, "x");
    ASSERT_TRUE(create_directories(path("folder.xml")));

    std::vector<std::string> out{"stale"};
    list_files(out, m_folder, "*.xml");
    EXPECT_EQ(out, (std::vector<std::string>{path("A.XML"), path("b.xml"), path("folder.xml")}));

    list_files(out, m_folder + "/", "*.TXT");
    EXPECT_EQ(out, (std::vector<std::string>{path("notes.txt")}));

    list_files(out, path("missing"), "*");
    EXPECT_TRUE(out.empty());
}

} // namespace
