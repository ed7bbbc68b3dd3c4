#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testsupport::TempFolder;

namespace {

// Runs the sc tool with its unit folder and systemctl redirected into a
// temporary folder; the stand-in systemctl records its arguments.
class ScTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(m_folder / "units");
        testsupport::write_file(m_folder / "systemctl",
                                "#!/bin/sh\necho \"$*\" >> \"" + (m_folder / "calls") + "\"\nexit ${SYSTEMCTL_STATUS:-0}\n",
                                0755);
    }

    int sc(std::vector<std::string> args, const std::string& systemctlStatus = "0")
    {
        args.insert(args.begin(), KORVEL_SC_PATH);
        const std::string output = m_folder / "output";
        std::filesystem::remove(output);
        const int status = testsupport::run_child(
            args,
            testsupport::environment_without({"SC_UNIT_DIR", "SC_SYSTEMCTL"},
                                             {"SC_UNIT_DIR=" + (m_folder / "units"),
                                              "SC_SYSTEMCTL=" + (m_folder / "systemctl"),
                                              "SYSTEMCTL_STATUS=" + systemctlStatus}),
            output);
        m_output = testsupport::read_file(output);
        return status;
    }

    std::string unit() const { return testsupport::read_file(m_folder / "units/korvel-orvanta-client.service"); }
    std::string calls() const { return testsupport::read_file(m_folder / "calls"); }

    TempFolder m_folder;
    std::string m_output;
};

TEST_F(ScTest, CreateWritesUnitAndRefusesToOverwriteIt)
{
    ASSERT_EQ(sc({"create", "Korvel Orvanta Client", "binPath=", "/opt/my bridge/korvel-orvanta-client"}), 0);
    EXPECT_EQ(m_output, "[SC] CreateService SUCCESS\n");
    EXPECT_EQ(unit(), "[Unit]\nDescription=Korvel Orvanta Client\n\n[Service]\nType=simple\n"
                      "ExecStart=\"/opt/my bridge/korvel-orvanta-client\"\n");
    EXPECT_EQ(calls(), "daemon-reload\n");

    EXPECT_EQ(sc({"create", "Korvel Orvanta Client", "binPath=", "/elsewhere/x"}), 1073 & 0xFF);
    EXPECT_NE(m_output.find("[SC] CreateService FAILED 1073:"), std::string::npos) << m_output;
    EXPECT_NE(unit().find("/opt/my bridge/korvel-orvanta-client"), std::string::npos);
    EXPECT_EQ(calls(), "daemon-reload\n");
}

TEST_F(ScTest, StartStopAndDeleteMapToSystemctl)
{
    ASSERT_EQ(sc({"create", "Korvel Orvanta Client", "binPath=", "/opt/b/client"}), 0);
    EXPECT_EQ(sc({"start", "Korvel Orvanta Client"}), 0);
    EXPECT_EQ(sc({"stop", "Korvel Orvanta Client"}), 0);
    EXPECT_EQ(sc({"start", "Korvel Orvanta Client"}, "5"), 1053 & 0xFF);
    EXPECT_NE(m_output.find("[SC] StartService FAILED"), std::string::npos) << m_output;
    EXPECT_EQ(sc({"delete", "Korvel Orvanta Client"}), 0);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "units/korvel-orvanta-client.service"));
    EXPECT_EQ(calls(), "daemon-reload\n"
                       "start korvel-orvanta-client.service\n"
                       "stop --no-block korvel-orvanta-client.service\n"
                       "start korvel-orvanta-client.service\n"
                       "daemon-reload\n");
}

TEST_F(ScTest, UnknownServiceIsReportedWithoutCallingSystemctl)
{
    for (const char* command : {"start", "stop", "delete"}) {
        EXPECT_EQ(sc({command, "Korvel Orvanta Client"}), 1060 & 0xFF) << command;
        EXPECT_NE(m_output.find("FAILED 1060:"), std::string::npos) << m_output;
    }
    EXPECT_EQ(calls(), "");
}

TEST_F(ScTest, UnitCutShortFailsAndLeavesNothing)
{
    // A file-size limit of one 512-byte block (SIGXFSZ ignored) cuts the unit's write
    // short without an error from write itself.
    const std::string output = m_folder / "output";
    const int status = testsupport::run_child(
        {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", KORVEL_SC_PATH, "create",
         "Korvel Orvanta Client", "binPath=", "/opt/b/client", "DisplayName=", std::string(1000, 'n')},
        testsupport::environment_without({"SC_UNIT_DIR", "SC_SYSTEMCTL"},
                                         {"SC_UNIT_DIR=" + (m_folder / "units"),
                                          "SC_SYSTEMCTL=" + (m_folder / "systemctl")}),
        output);
    EXPECT_NE(status, 0) << testsupport::read_file(output);
    EXPECT_EQ(testsupport::read_file(output).find("[SC] CreateService FAILED"), 0u) << testsupport::read_file(output);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder / "units"));
    EXPECT_EQ(calls(), "");
}

TEST_F(ScTest, PathIsEscapedForSystemd)
{
    ASSERT_EQ(sc({"create", "Odd", "binPath=", "/a \"b\"/c\\d/100%/$HOME"}), 0);
    EXPECT_EQ(testsupport::read_file(m_folder / "units/odd.service"),
              "[Unit]\nDescription=Odd\n\n[Service]\nType=simple\n"
              "ExecStart=\"/a \\\"b\\\"/c\\\\d/100%%/$$HOME\"\n");
}

TEST_F(ScTest, RejectsBadNamesAndOptions)
{
    EXPECT_EQ(sc({"create", "../escape", "binPath=", "/x"}), 123);
    EXPECT_EQ(sc({"create", "", "binPath=", "/x"}), 123);
    EXPECT_EQ(sc({"create", "Name", "binPath="}), 87);
    EXPECT_EQ(sc({"create", "Name", "start=", "auto", "binPath=", "/x"}), 87);
    EXPECT_EQ(sc({"create", "Name"}), 87);
    EXPECT_EQ(sc({"query", "Name"}), 87);
    EXPECT_EQ(sc({"start"}), 87);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder / "units"));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "escape.service"));
    EXPECT_EQ(calls(), "");
}

} // namespace
