#include "config/CServerClientConfig.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "ConfigTestFolder.h"

namespace {

const char kFile[] = "ardentis.ini";
const char kDefaults[] = "[Main]\r\nServerHost=localhost\r\nServerPort=5000\r\nUserName=pelto\r\n\r\n";

} // namespace

TEST(CServerClientConfig, AFreshFolderGetsTheDefaultFile)
{
    ConfigTestFolder folder;
    CServerClientConfig config;
    EXPECT_EQ(config.GetFilePath(), folder.Path(kFile));
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{kFile});
    EXPECT_EQ(folder.Read(kFile), kDefaults);

    EXPECT_EQ(config.GetServerHost(), "localhost");
    EXPECT_EQ(config.GetServerPort(), 5000);
    EXPECT_EQ(config.GetUserName(), "pelto");
    EXPECT_EQ(config.GetGroupSel(), -1);
    EXPECT_EQ(config.GetObjSel(), -1);
    EXPECT_EQ(config.GetShowStateImage(), -1);
    EXPECT_EQ(config.GetShowStateImageMask(), -1);
    EXPECT_EQ(config.GetChessFont(), 0);

    config.LoadViewSettings();
    EXPECT_EQ(folder.Read(kFile), kDefaults);
    EXPECT_EQ(config.GetShowStateImage(), 0);
    EXPECT_EQ(config.GetShowStateImageMask(), 0);
    EXPECT_EQ(config.GetChessFont(), 0);
}

TEST(CServerClientConfig, GettersFallBackToTheirOwnDefaults)
{
    ConfigTestFolder folder;
    CServerClientConfig config;
    config.Clear();
    EXPECT_EQ(config.GetServerHost(), "localhost");
    EXPECT_EQ(config.GetServerPort(), 5000);
    EXPECT_EQ(config.GetUserName(), "");
    EXPECT_EQ(config.GetGroupSel(), -1);
    EXPECT_EQ(config.GetObjSel(), -1);
}

TEST(CServerClientConfig, TheUsersFileIsMergedOverTheDefaultsAndRewritten)
{
    struct Case
    {
        const char* what;
        std::string file;
        std::string rewritten;
        std::string host;
        int32_t port;
        std::vector<int32_t> view;  // ShowStateImage, ShowStateImageMask, ChessFont
    };
    const std::vector<Case> cases = {
        {"one changed key", "[Main]\r\nServerPort=5050\r\n",
         "[Main]\r\nServerHost=localhost\r\nServerPort=5050\r\nUserName=pelto\r\n\r\n", "localhost", 5050,
         {0, 0, 0}},
        {"LF line ends and an unterminated last line keep their settings",
         "[Main]\nServerHost=station.local\nUserName=operator\nChessFont=2\n[Objects]\nShowStateImage=1\n"
         "ShowStateImageMask=7",
         "[Main]\r\nServerHost=station.local\r\nServerPort=5000\r\nUserName=operator\r\nChessFont=2\r\n\r\n"
         "[Objects]\r\nShowStateImage=1\r\nShowStateImageMask=7\r\n\r\n",
         "station.local", 5000, {1, 7, 2}},
        {"text where a number belongs reads as 0",
         "[Main]\r\nServerPort=abc\r\nGroupSel=x\r\n[Objects]\r\nShowStateImage=on\r\n",
         "[Main]\r\nServerHost=localhost\r\nServerPort=abc\r\nUserName=pelto\r\nGroupSel=x\r\n\r\n"
         "[Objects]\r\nShowStateImage=on\r\n\r\n",
         "localhost", 0, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        ConfigTestFolder folder;
        folder.Write(kFile, c.file);
        CServerClientConfig config;
        EXPECT_EQ(folder.Read(kFile), c.file) << c.what;

        config.LoadViewSettings();
        EXPECT_EQ(folder.Read(kFile), c.rewritten) << c.what;
        EXPECT_EQ(config.GetServerHost(), c.host) << c.what;
        EXPECT_EQ(config.GetServerPort(), c.port) << c.what;
        EXPECT_EQ((std::vector<int32_t>{config.GetShowStateImage(), config.GetShowStateImageMask(),
                                        config.GetChessFont()}),
                  c.view)
            << c.what;
    }
}

TEST(CServerClientConfig, AFileGoneBeforeLoadingIsNotRewritten)
{
    ConfigTestFolder folder;
    CServerClientConfig config;
    ASSERT_EQ(::unlink(folder.Path(kFile).c_str()), 0);
    config.LoadViewSettings();
    EXPECT_TRUE(folder.Entries().empty());
    EXPECT_EQ(config.GetUserName(), "pelto");
    EXPECT_EQ(config.GetShowStateImage(), 0);
}
