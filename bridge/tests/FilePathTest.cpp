#include "support/FilePath.h"

#include <gtest/gtest.h>

namespace {

TEST(FilePathTest, ReplacesEverythingAfterLastSeparator)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    for (const Case& c : {Case{"/opt/bridge/korvel-orvanta-client", "/opt/bridge/connection.ini"},
                          Case{"C:\\Korvel\\client.exe", "C:\\Korvel\\connection.ini"},
                          Case{"/mixed\\dir/x\\exe", "/mixed\\dir/x\\connection.ini"},
                          Case{"/opt/bridge/", "/opt/bridge/connection.ini"},
                          Case{"/exe", "/connection.ini"},
                          Case{"exe", "connection.ini"},
                          Case{"", "connection.ini"}})
        EXPECT_EQ(path_replace_file_name(c.path, "connection.ini"), c.expected) << c.path;
}

} // namespace
