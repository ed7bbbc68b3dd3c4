#include "platform/DirectoryListing.h"

#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

class DirectoryListing : public ::testing::Test
{
protected:
    void touch(const std::string& name) { testsupport::write_file(m_folder / name, "x"); }
    void make_folder(const std::string& name) { ASSERT_EQ(::mkdir((m_folder / name).c_str(), 0777), 0); }

    std::vector<std::string> names(const std::string& mask)
    {
        std::vector<platform::DirectoryEntry> entries;
        EXPECT_TRUE(platform::list_directory(m_folder.path(), mask, entries));
        std::vector<std::string> result;
        for (const auto& entry : entries)
            result.push_back(entry.name + (entry.is_directory ? "/" : ""));
        return result;
    }

    testsupport::TempFolder m_folder;
};

TEST_F(DirectoryListing, SortsWithoutRegardToCaseAndMatchesMasksInAnyCase)
{
    for (const char* name : {"b.xml", "A.XML", "c.Xml", "a.txt", "Z.ot", "gate.ot.bak", "B.xml"})
        touch(name);
    make_folder("folder.xml");

    using V = std::vector<std::string>;
    EXPECT_EQ(names("*.xml"), (V{"A.XML", "B.xml", "b.xml", "c.Xml", "folder.xml/"}));
    EXPECT_EQ(names("*.OT"), (V{"Z.ot"}));
    EXPECT_EQ(names("?.*"), (V{"a.txt", "A.XML", "B.xml", "b.xml", "c.Xml", "Z.ot"}));
    EXPECT_EQ(names("*").size(), 8u);
    EXPECT_EQ(names("*.st"), V{});
}

TEST(DirectoryMask, OnlyStarAndQuestionMarkAreWildcards)
{
    struct Case
    {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"plan[1].xml", "plan[1].xml", true},
        {"plan1.xml", "plan[1].xml", false},
        {"a\\b", "a\\b", true},
        {"Шаблон.XML", "*.xml", true},
        {"main.xml", "MAIN.XML", true},
        {"main.xml", "main.xm", false},
        {".hidden.xml", "*.xml", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::name_matches_mask(c.name, c.mask), c.match) << c.name << " / " << c.mask;
}

TEST(DirectoryListingMissing, MissingFolderIsAFailureWithNoEntries)
{
    std::vector<platform::DirectoryEntry> entries{{"stale", false}};
    EXPECT_FALSE(platform::list_directory("/nonexistent/folder/for/listing", "*", entries));
    EXPECT_TRUE(entries.empty());
}

} // namespace
