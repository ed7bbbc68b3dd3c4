#include "support/ConnectionSettings.h"

#include "support/BridgeLog.h"
#include "support/InputBounds.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

using namespace std::string_literals;
using testsupport::read_file;
using testsupport::TempFolder;

namespace {

const char kDefaultIni[] = "#Korvel-Orvanta client utility ini file\n"
                           "#Connection settings to Korvel server:\n"
                           "host\tlocalhost\n"
                           "port\t5000\n"
                           "login\tpelto\n"
                           "password\tpelto\n"
                           "\n#Local settings:\n"
                           "local_port\t5050\n"
                           "#- this port should be specified at Orvanta when connects to Korvel\n"
                           "\nverbosity\t1\n";

class ConnectionSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reset_config();
        m_saved_log = log_path();
        set_log_path(m_folder / "test.log");
    }
    void TearDown() override
    {
        reset_config();
        set_log_path(m_saved_log);
    }

    std::string exe() const { return m_folder / "korvel-orvanta-client"; }
    std::string ini() const { return m_folder / "connection.ini"; }
    std::string log() const { return read_file(m_folder / "test.log"); }

    bool read(const std::string& text)
    {
        testsupport::write_file(ini(), text);
        return read_config(exe());
    }

    TempFolder m_folder;
    std::string m_saved_log;
};

TEST_F(ConnectionSettingsTest, MissingFileIsCreatedWithDefaults)
{
    verbosity = 2;
    ASSERT_TRUE(read_config(exe()));
    EXPECT_EQ(read_file(ini()), kDefaultIni);
    EXPECT_EQ(host, "localhost");
    EXPECT_EQ(port, 5000);
    EXPECT_EQ(login, "pelto");
    EXPECT_EQ(password, "pelto");
    EXPECT_EQ(local_port, 5050);
    EXPECT_EQ(verbosity, 1);
    EXPECT_TRUE(validate_config());
    EXPECT_EQ(log(), "default ini file created at " + ini() + "\n");

    // Read back, the default file gives the same settings.
    reset_config();
    ASSERT_TRUE(read_config(exe()));
    EXPECT_EQ(host, "localhost");
    EXPECT_EQ(port, 5000);
    EXPECT_EQ(password, "pelto");
    EXPECT_EQ(local_port, 5050);
}

TEST_F(ConnectionSettingsTest, DefaultFileThatCannotBeWrittenFails)
{
    EXPECT_FALSE(create_default_ini(m_folder / "missing/connection.ini"));
    EXPECT_EQ(log(), "unable to create default ini " + (m_folder / "missing/connection.ini") + "\n");
    EXPECT_FALSE(read_config(m_folder / "missing/korvel-orvanta-client"));
}

TEST_F(ConnectionSettingsTest, ExistingFileThatCannotBeReadIsLeftAlone)
{
    // A folder; a FIFO no writer opens, which a read would wait on for ever; a
    // file past the bound.
    for (const std::string make : {"folder", "fifo", "large"}) {
        std::filesystem::remove_all(ini());
        if (make == "folder")
            std::filesystem::create_directory(ini());
        else if (make == "fifo")
            ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);
        else
            testsupport::write_file(ini(), std::string(kMaxSettingsFileSize + 1, '#'));
        const auto type = std::filesystem::symlink_status(ini()).type();
        EXPECT_FALSE(read_config(exe())) << make;
        EXPECT_EQ(std::filesystem::symlink_status(ini()).type(), type) << make;
    }
    EXPECT_EQ(log(), "");
}

TEST_F(ConnectionSettingsTest, ReadsKeysValuesAndComments)
{
    ASSERT_TRUE(read("# a comment line\n"
                     "\n"
                     "host\t korvel.local #server\n"
                     "port\t 5001 # station port\n"
                     "login  operator\n"
                     "password\tpass word  \0cut # by the NUL\n"
                     "local_port 6060\n"
                     "verbosity\t2\n"
                     "unknown value\n"
                     "Host other\n"
                     " login indented\n"
                     "#login commented\n"s));
    // The value keeps the blank before a comment.
    EXPECT_EQ(host, "korvel.local ");
    EXPECT_EQ(port, 5001);
    EXPECT_EQ(login, "operator");
    EXPECT_EQ(password, "pass word  ");
    EXPECT_EQ(local_port, 6060);
    EXPECT_EQ(verbosity, 2);
}

TEST_F(ConnectionSettingsTest, LineEndsOfAnyEditorAByteOrderMarkAndANegativeVerbosity)
{
    for (const char* ini : {"host\tlocalhost\r\nport\t5000\r\n\r\nlocal_port\t5050\r\nverbosity -3",
                            "host\tlocalhost\rport\t5000\r\rlocal_port\t5050\rverbosity -3\r",
                            "\xEF\xBB\xBFhost\tlocalhost\nport\t5000\nlocal_port\t5050\nverbosity -3\n"}) {
        reset_config();
        ASSERT_TRUE(read(ini));
        EXPECT_EQ(host, "localhost") << ini;
        EXPECT_EQ(port, 5000) << ini;
        EXPECT_EQ(local_port, 5050) << ini;
        EXPECT_EQ(verbosity, 0) << ini;
    }
}

TEST_F(ConnectionSettingsTest, RepeatedKeyOverridesAndEmptyValuesAreKept)
{
    ASSERT_TRUE(read("host a\nhost b\nport 1\nport x\npassword\n"));
    EXPECT_EQ(host, "b");
    EXPECT_EQ(port, 0);
    EXPECT_EQ(password, "");
}

TEST_F(ConnectionSettingsTest, LinesOfAnyLength)
{
    const std::string long_password(100000, 'p');
    ASSERT_TRUE(read("password\t" + long_password + "\nhost\th\n"));
    EXPECT_EQ(password, long_password);
    EXPECT_EQ(host, "h");
}

TEST_F(ConnectionSettingsTest, ValidationReportsFirstFaultInOrder)
{
    struct Case {
        std::string ini;
        const char* message;
    };
    const Case cases[] = {
        {"port 0\nlogin\nlocal_port 0\n", "wrong host specified\n"},
        // A line ends at a NUL: the key before it is left without a value.
        {"host \0h\nport 5000\nlogin l\nlocal_port 5050\n"s, "wrong host specified\n"},
        {"host h\nport 5000\nlogin\t\0l\nlocal_port 5050\n"s, "wrong login specified\n"},
        {"Host h\nport 5000\nlogin l\nlocal_port 5050\n", "wrong host specified\n"},
        {"host h\nlogin\nlocal_port 0\n", "wrong port specified\n"},
        {"host h\nport 65536\nlogin l\nlocal_port 5050\n", "wrong port specified\n"},
        {"host h\nport -5000\nlogin l\nlocal_port 5050\n", "wrong port specified\n"},
        // Saturates rather than wrapping round to 5000.
        {"host h\nport 4294972296\nlogin l\nlocal_port 5050\n", "wrong port specified\n"},
        {"host h\nport 5000\nlocal_port 0\n", "wrong login specified\n"},
        {"host h\nport 5000\nlogin l\nlocal_port 0\n", "wrong local_port cpecified\n"},
        {"host h\nport 5000\nlogin l\nlocal_port 65536\n", "wrong local_port cpecified\n"},
        {"host h\nport 5000\nlogin l\nlocal_port abc\n", "wrong local_port cpecified\n"},
        {"host h\nport 65535\nlogin l\nlocal_port 1\n", ""},
    };
    for (const Case& c : cases) {
        reset_config();
        std::filesystem::remove(m_folder / "test.log");
        set_log_path(m_folder / "test.log");
        ASSERT_TRUE(read(c.ini));
        EXPECT_EQ(validate_config(), c.message[0] == '\0') << c.ini;
        EXPECT_EQ(log(), c.message) << c.ini;
    }
}

} // namespace
