#include "config/CConfig.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "ConfigTestFolder.h"
#include "LogCapture.h"
#include "base/InputBounds.h"

namespace {

const char kName[] = "t.ini";
// The file log's category of the library's system messages.
constexpr int32_t kSystemCategory = 6;

struct RoundTrip
{
    const char* what;
    std::string file;
    std::string saved;
};

// Loads `file` and saves it back: what the library makes of a user's file.
std::string load_and_save(const ConfigTestFolder& folder, const std::string& file)
{
    folder.Write(kName, file);
    CConfig config(kName, -1, true);
    EXPECT_TRUE(config.Load());
    EXPECT_TRUE(config.Save());
    return folder.Read(kName);
}

std::string config_text(const std::string& key, const std::string& value)
{
    return "[Main]\r\n" + key + "=" + value + "\r\n\r\n";
}

} // namespace

TEST(CConfig, LinesAreParsedAndWrittenBackInTheLibrarysForm)
{
    const std::vector<RoundTrip> cases = {
        {"blanks around key and value are trimmed", "[Main]\r\n ServerPort = 5050 \r\n",
         "[Main]\r\nServerPort=5050\r\n\r\n"},
        {"tabs and form feeds are trimmed, high bytes are not",
         "\t[Main]\f\r\n\tName\v=\t\xA0\xC8\xEC\xFF\xA0\t\r\n", "[Main]\r\nName=\xA0\xC8\xEC\xFF\xA0\r\n\r\n"},
        {"a repeated key keeps its first place and its last value",
         "[Main]\r\nServerPort=5000\r\nUserName=a\r\nServerPort=5050\r\n",
         "[Main]\r\nServerPort=5050\r\nUserName=a\r\n\r\n"},
        {"a bare key saves with an empty value", "[Main]\r\nFlag\r\n", "[Main]\r\nFlag=\r\n\r\n"},
        {"lines before the first header and lines opening with = are dropped",
         "Early=1\r\n;early\r\n[Main]\r\n=5\r\n = 6\r\nA=1\r\n", "[Main]\r\nA=1\r\n\r\n"},
        {"identical comments in one section are stored once, per section",
         "[A]\r\n; note\r\n;note\r\nx=1\r\n; note\r\n[B]\r\n; note\r\n",
         "[A]\r\n; note\r\n;note\r\nx=1\r\n\r\n[B]\r\n; note\r\n\r\n"},
        {"a repeated header continues the earlier section",
         "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[A]\r\nz=3\r\nx=9\r\n", "[A]\r\nx=9\r\nz=3\r\n\r\n[B]\r\ny=2\r\n\r\n"},
        {"header names are trimmed; an empty or unclosed header is no header",
         "[  Main  ]\r\na=1\r\n[ ]\r\nb=2\r\n[Other] ; note\r\nc=3\r\n[\r\nd=4\r\n",
         "[Main]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n\r\n"},
        {"the first = splits; quotes and semicolons are plain text", "[Main]\r\nk = a=b ;c \"q\" \r\n",
         "[Main]\r\nk=a=b ;c \"q\"\r\n\r\n"},
        {"a CR inside a line stays in the value", "[Main]\r\nA=x\ry\r\n", "[Main]\r\nA=x\ry\r\n\r\n"},
        {"LF line ends are read", "[Main]\nA=1\nB=2\n", "[Main]\r\nA=1\r\nB=2\r\n\r\n"},
        {"a last line without a line end is read", "[Main]\r\nA=1\r\nB=2", "[Main]\r\nA=1\r\nB=2\r\n\r\n"},
        {"a trailing lone CR ends the last line", "[Main]\r\nA=1\r", "[Main]\r\nA=1\r\n\r\n"},
        {"a header alone keeps an empty section", "[Main]\r\n", "[Main]\r\n\r\n"},
        {"an empty file gives an empty file", "", ""},
    };
    for (const auto& c : cases) {
        ConfigTestFolder folder;
        EXPECT_EQ(load_and_save(folder, c.file), c.saved) << c.what;
    }
}

TEST(CConfig, LookupsAreExactAndIntegersFollowAtoi)
{
    ConfigTestFolder folder;
    folder.Write(kName, "[Main]\r\nServerPort=5050\r\nText=abc\r\nSigned= -12x\r\nHuge=99999999999\r\n"
                        "Low=-99999999999\r\nEmpty=\r\n");
    CConfig config(kName, -1, true);
    ASSERT_TRUE(config.Load());

    EXPECT_EQ(config.GetInt("Main", "ServerPort", 1), 5050);
    EXPECT_EQ(config.GetInt("Main", "serverport", 1), 1);
    EXPECT_EQ(config.GetInt("main", "ServerPort", 1), 1);
    EXPECT_EQ(config.GetInt("Main", "Text", 7), 0);
    EXPECT_EQ(config.GetInt("Main", "Signed", 7), -12);
    EXPECT_EQ(config.GetInt("Main", "Huge", 7), INT32_MAX);
    EXPECT_EQ(config.GetInt("Main", "Low", 7), INT32_MIN);
    EXPECT_EQ(config.GetInt("Main", "Empty", 7), 0);
    EXPECT_EQ(config.GetInt("Main", "Absent", 7), 7);

    EXPECT_EQ(config.GetString("Main", "Text", "d"), "abc");
    EXPECT_EQ(config.GetString("Main", "Empty", "d"), "");
    EXPECT_EQ(config.GetString("Main", "Absent", "d"), "d");
    EXPECT_EQ(config.GetString("Main", "Absent"), "");

    std::string out = "unchanged";
    EXPECT_FALSE(config.GetValue("Main", "", out));
    EXPECT_FALSE(config.GetValue("Main", "SERVERPORT", out));
    EXPECT_FALSE(config.GetValue("", "ServerPort", out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(config.GetValue("Main", "ServerPort", out));
    EXPECT_EQ(out, "5050");

    EXPECT_TRUE(config.HasParamValue("Main", "ServerPort", "5050"));
    EXPECT_FALSE(config.HasParamValue("Main", "ServerPort", "5051"));
    EXPECT_EQ(config.FindParam("Other", "ServerPort"), nullptr);
}

TEST(CConfig, SettingValuesAndSections)
{
    ConfigTestFolder folder;
    CConfig config(kName, -1, true);
    EXPECT_FALSE(config.SetValue("", "k", "v"));
    EXPECT_FALSE(config.SetValue("S", "", "v"));
    EXPECT_FALSE(config.AddSection(""));
    EXPECT_EQ(config.FindSection(""), nullptr);

    EXPECT_TRUE(config.SetValue("S", "k", "v"));  // creates the section
    EXPECT_TRUE(config.AddSection("S"));  // already there
    EXPECT_TRUE(config.AddSection("s"));  // another one
    EXPECT_TRUE(config.SetValue("S", ";", " c"));
    EXPECT_TRUE(config.SetValue("S", ";", " c"));
    EXPECT_TRUE(config.SetValue("S", "k", "w"));
    ASSERT_TRUE(config.Save());
    EXPECT_EQ(folder.Read(kName), "[S]\r\nk=w\r\n; c\r\n\r\n[s]\r\n\r\n");

    config.Clear();
    EXPECT_EQ(config.FindSection("S"), nullptr);
    ASSERT_TRUE(config.Save());
    EXPECT_EQ(folder.Read(kName), "");
}

TEST(CConfig, LoadMergesAndOpenStartsAfresh)
{
    ConfigTestFolder folder;
    folder.Write(kName, "[Main]\r\nA=file\r\n");
    folder.Write("other.ini", "[Other]\r\nB=2\r\n");
    CConfig config(kName, -1, true);
    ASSERT_TRUE(config.SetValue("Main", "Kept", "1"));
    ASSERT_TRUE(config.SetValue("Main", "A", "memory"));

    EXPECT_TRUE(config.Load());
    EXPECT_EQ(config.GetString("Main", "A"), "file");
    EXPECT_EQ(config.GetString("Main", "Kept"), "1");

    EXPECT_FALSE(config.Open(nullptr));
    EXPECT_EQ(config.GetString("Main", "Kept"), "1");

    EXPECT_TRUE(config.Open("other.ini"));
    EXPECT_EQ(config.GetFileName(), "other.ini");
    EXPECT_EQ(config.FindSection("Main"), nullptr);
    EXPECT_EQ(config.GetInt("Other", "B", 0), 2);

    // A missing file, or a folder in its place, reads as nothing and changes nothing.
    EXPECT_FALSE(config.Open("missing.ini"));
    EXPECT_EQ(config.FindSection("Other"), nullptr);
    ASSERT_TRUE(config.SetValue("Main", "A", "x"));
    ASSERT_EQ(::mkdir(folder.Path("missing.ini").c_str(), 0755), 0);
    EXPECT_FALSE(config.Load());
    EXPECT_EQ(config.GetString("Main", "A"), "x");
}

TEST(CConfig, ConstructionCreatesAMissingFileOnlyWhenNamed)
{
    {
        ConfigTestFolder folder;
        CConfig unnamed("", -1, true);
        CConfig none(nullptr, -1, true);
        EXPECT_EQ(unnamed.GetFolder(), folder.Folder());
        EXPECT_FALSE(unnamed.Save());
        EXPECT_TRUE(folder.Entries().empty());
    }
    {
        // No such resource: no defaults and no file.
        ConfigTestFolder folder;
        CConfig config(kName, 9999, true);
        EXPECT_TRUE(folder.Entries().empty());
    }
    {
        ConfigTestFolder folder;
        CConfig config(kName, -1, true);
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{kName});
        EXPECT_EQ(folder.Read(kName), "");
    }
    {
        // An existing file is neither read nor changed by construction.
        ConfigTestFolder folder;
        folder.Write(kName, "[Main]\nA=1");
        CConfig config(kName, -1, true);
        EXPECT_EQ(config.FindSection("Main"), nullptr);
        EXPECT_EQ(folder.Read(kName), "[Main]\nA=1");
    }
}

TEST(CConfig, TheFolderCanBeTheCurrentDirectory)
{
    ConfigTestFolder folder;
    char previous[PATH_MAX];
    ASSERT_NE(::getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(::chdir(folder.Folder().c_str()), 0);
    char here[PATH_MAX];
    ASSERT_NE(::getcwd(here, sizeof(here)), nullptr);
    {
        CConfig config(kName, -1, false);
        EXPECT_EQ(config.GetFolder(), here);
        EXPECT_EQ(config.GetFilePath(), std::string(here) + "/" + kName);
    }
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{kName});
}

TEST(CConfig, SaveKeepsThePermissionBitsOfTheOldFile)
{
    ConfigTestFolder folder;
    folder.Write(kName, "[Main]\r\nA=1\r\n");
    ASSERT_EQ(::chmod(folder.Path(kName).c_str(), 0640), 0);
    CConfig config(kName, -1, true);
    ASSERT_TRUE(config.Load());
    ASSERT_TRUE(config.SetValue("Main", "A", "2"));
    ASSERT_TRUE(config.Save());
    struct stat info {};
    ASSERT_EQ(::stat(folder.Path(kName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.Read(kName), config_text("A", "2"));

    // A new file gets what any newly created file would.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_EQ(::unlink(folder.Path(kName).c_str()), 0);
    ASSERT_TRUE(config.Save());
    ASSERT_EQ(::stat(folder.Path(kName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666u & ~mask);
}

TEST(CConfig, AFailedSaveLeavesTheOldFileWhole)
{
    ConfigTestFolder folder;
    const std::string old = config_text("A", "old");
    folder.Write(kName, old);
    CConfig config(kName, -1, true);
    ASSERT_TRUE(config.Load());
    ASSERT_TRUE(config.SetValue("Main", "A", std::string(4096, 'n')));

    // Writes beyond a small file size limit fail (for root as well).
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = config.Save();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    ASSERT_EQ(::sigaction(SIGXFSZ, &previous, nullptr), 0);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(folder.Read(kName), old);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{kName});
    EXPECT_EQ(config.GetString("Main", "A").size(), 4096u);

    // A folder where the file should be, or no folder at all, fails the same way.
    ASSERT_EQ(::unlink(folder.Path(kName).c_str()), 0);
    ASSERT_EQ(::mkdir(folder.Path(kName).c_str(), 0755), 0);
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{kName});
    platform::set_executable_path_override(folder.Path("gone/host"));
    CConfig elsewhere(kName, -1, true);
    EXPECT_FALSE(elsewhere.Save());
    EXPECT_FALSE(std::filesystem::exists(folder.Path("gone")));
}

TEST(CConfig, ConcurrentSavesLeaveAWholeFile)
{
    ConfigTestFolder folder;
    CConfig first(kName, -1, true);
    CConfig second(kName, -1, true);
    ASSERT_TRUE(first.SetValue("Main", "Writer", std::string(3000, 'a')));
    ASSERT_TRUE(second.SetValue("Main", "Writer", std::string(5000, 'b')));
    const std::string text_a = config_text("Writer", std::string(3000, 'a'));
    const std::string text_b = config_text("Writer", std::string(5000, 'b'));
    ASSERT_TRUE(first.Save());

    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::atomic<int> torn{0};
    auto writer = [&](CConfig& config) {
        for (int i = 0; i < 200; ++i) {
            if (!config.Save())
                ++failures;
        }
    };
    std::thread reader([&] {
        while (!done) {
            const std::string text = folder.Read(kName);
            if (text != text_a && text != text_b)
                ++torn;
        }
    });
    std::thread a(writer, std::ref(first));
    std::thread b(writer, std::ref(second));
    a.join();
    b.join();
    done = true;
    reader.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, 0);
    const std::string last = folder.Read(kName);
    EXPECT_TRUE(last == text_a || last == text_b);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{kName});
}

// The link stays, and the temporary file stands beside the file it leads to.
TEST(CConfig, SaveThroughALinkReplacesTheFileItLeadsTo)
{
    ConfigTestFolder folder;
    ASSERT_EQ(::mkdir(folder.Path("real").c_str(), 0755), 0);
    folder.Write("real/t.ini", config_text("A", "old"));
    ASSERT_EQ(::symlink("real/t.ini", folder.Path(kName).c_str()), 0);
    CConfig config(kName, -1, true);
    ASSERT_TRUE(config.SetValue("Main", "A", "new"));
    ASSERT_TRUE(config.Save());
    struct stat info {};
    ASSERT_EQ(::lstat(folder.Path(kName).c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(folder.Read("real/t.ini"), config_text("A", "new"));
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"real", kName}));
}

TEST(CConfig, AFileAboveTheSettingsBoundIsNotRead)
{
    ConfigTestFolder folder;
    folder.Write(kName, config_text("A", "1") + std::string(kMaxSettingsFileSize, ';'));
    CConfig config(kName, -1, true);
    EXPECT_FALSE(config.Open(kName));
    EXPECT_EQ(config.FindSection("Main"), nullptr);
}

// What the library writes it reads back: a rewrite past the read bound is not
// written, and the file in place stays to be read as before.
TEST(CConfig, SaveWritesNothingTheLibraryWouldNotRead)
{
    // "[Main]", CR LF, "A=", the value, CR LF, then the section's closing CR LF.
    const size_t framing = config_text("A", "").size();
    for (const uint64_t size : {kMaxSettingsFileSize, kMaxSettingsFileSize + 1}) {
        const bool fits = size <= kMaxSettingsFileSize;
        ConfigTestFolder folder;
        LogCapture log;
        set_log_category_mask_for_tests(kSystemCategory, LOG_LEVEL_ERROR);
        folder.Write(kName, config_text("A", "old"));
        CConfig config(kName, -1, true);
        const std::string value(size - framing, 'v');
        ASSERT_TRUE(config.Load() && config.SetValue("Main", "A", value));

        EXPECT_EQ(config.Save(), fits) << size;
        CConfig again(kName, -1, true);
        ASSERT_TRUE(again.Load()) << size;
        EXPECT_EQ(again.GetString("Main", "A"), fits ? value : "old") << size;
        EXPECT_EQ(log.Contents().find("] [E] [System] ") != std::string::npos, !fits) << size;
    }
}
