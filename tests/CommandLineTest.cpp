// Every script and program a user meets: "--help" and "-h" print the usage on
// standard output with status 0, and a wrong argument is named in one line on
// standard error with status 2. Neither builds, runs or leaves anything.

#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Program
{
    std::string path;
    std::vector<std::string> wrong;  // a wrong command line
    std::string named;               // what its error line must name
};

std::string source(const std::string& path)
{
    return std::string(KORVEL_SOURCE_DIR) + "/" + path;
}

std::string built(const std::string& name)
{
    return std::string(KORVEL_BIN_DIR) + "/" + name;
}

// The option lines ("  --name ...") of a usage text.
std::vector<std::string> option_lines(const std::string& usage)
{
    std::vector<std::string> lines;
    std::istringstream in(usage);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 4, "  --") == 0)
            lines.push_back(line);
    }
    return lines;
}

class CommandLineTest : public ::testing::Test
{
protected:
    struct Run
    {
        int status = -1;
        std::string out;
        std::string err;
    };

    // Runs the program with the build folders of the scripts and the temporary
    // folder pointed into this test's folder, which must stay as it was.
    Run RunProgram(const std::vector<std::string>& argv)
    {
        const std::string out = m_folder / "out";
        const std::string err = m_folder / "err";
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        const std::string scratch = m_folder / "tmp";
        std::filesystem::create_directory(scratch);
        Run run;
        run.status = testsupport::run_child(
            argv,
            testsupport::environment_without({"BUILD_DIR", "FUZZ_BUILD_DIR", "TMPDIR"},
                                             {"BUILD_DIR=" + (m_folder / "build"),
                                              "FUZZ_BUILD_DIR=" + (m_folder / "build-fuzz"), "TMPDIR=" + scratch}),
            out, 20000, err);
        run.out = testsupport::read_file(out);
        run.err = testsupport::read_file(err);
        std::vector<std::string> made;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_folder.path()))
            made.push_back(entry.path().filename().string());
        std::sort(made.begin(), made.end());
        EXPECT_EQ(made, (std::vector<std::string>{"err", "out", "tmp"})) << argv.front();
        return run;
    }

    Run Help(const std::string& path, const char* flag) { return RunProgram({path, flag}); }

    testsupport::TempFolder m_folder;
};

TEST_F(CommandLineTest, EveryProgramTellsItsUsageAndNamesAWrongArgumentWithoutMakingAnything)
{
    const std::string run_folder = m_folder / "run";
    const std::vector<Program> programs = {
        {source("scripts/demo"), {"--bogus"}, "--bogus"},
        {source("scripts/setup"), {"x"}, "x"},
        {source("scripts/test"), {"Release"}, "Release"},
        {source(".ci/run"), {"--bogus"}, "--bogus"},
        {source("tools/run-bridge"), {"--dir", run_folder, "--ini"}, "--ini"},
        {source("tools/run-bridge"), {"--lib", "/nonexistent", "--dir", run_folder}, "/nonexistent"},
        {source("bench/run"), {"--events", "1x"}, "--events"},
        {source("bench/soak"), {"--keep", "--drops"}, "--drops"},
        {source("fuzz/run"), {"abc"}, "abc"},
        {source("fuzz/run"), {"5", "no_such_harness"}, "no_such_harness"},
        {built("station-sim"), {"--port", "65536"}, "--port"},
        {built("vms-client"), {"127.0.0.1", "port", "login", "password"}, "PORT"},
        {built("eventpath_bench"), {"--clients", "1,,2"}, "--clients"},
        {built("soak_run"), {"--phases", "events,naps"}, "--phases"},
        {built("library_bench"), {"--bogus"}, "--bogus"},
        {built("wire_bench"), {"--bogus"}, "--bogus"},
        {built("vms_server_bench"), {"--bogus"}, "--bogus"},
        {built("zip_extract_bench"), {"--bogus"}, "--bogus"},
        {built("bridge_reader_bench"), {"--bogus"}, "--bogus"},
    };
    for (const Program& program : programs) {
        SCOPED_TRACE(program.path + " " + program.wrong.front());
        ASSERT_TRUE(std::filesystem::exists(program.path));
        for (const char* flag : {"--help", "-h"}) {
            const Run help = Help(program.path, flag);
            EXPECT_EQ(help.status, 0) << flag;
            EXPECT_EQ(help.out.compare(0, 7, "usage: "), 0) << flag << "\n" << help.out;
            EXPECT_EQ(help.err, "") << flag;
        }

        std::vector<std::string> argv{program.path};
        argv.insert(argv.end(), program.wrong.begin(), program.wrong.end());
        const Run wrong = RunProgram(argv);
        EXPECT_EQ(wrong.status, 2);
        EXPECT_EQ(wrong.out, "");
        EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 1) << wrong.err;
        EXPECT_NE(wrong.err.find(program.named), std::string::npos) << wrong.err;
    }
}

// The stand-in for the service manager's tool answers as that tool does: a
// usage text of its own, and error 87 for a wrong command line.
TEST_F(CommandLineTest, ScAnswersItsHelpWithStatusZeroAndAWrongCommandLineWithError87)
{
    for (const char* flag : {"--help", "-h"}) {
        const Run help = Help(KORVEL_SC, flag);
        EXPECT_EQ(help.status, 0) << flag;
        EXPECT_NE(help.out.find("USAGE:"), std::string::npos) << flag << "\n" << help.out;
    }
    EXPECT_EQ(RunProgram({KORVEL_SC, "--help", "x"}).status, 87);
    EXPECT_EQ(RunProgram({KORVEL_SC, "pause", "x"}).status, 87);
}

// What the README installs, installed into a scratch prefix.
TEST_F(CommandLineTest, TheInstallPutsTheBridgeItsLibraryScAndTheHeaderIntoThePrefix)
{
    testsupport::TempFolder scratch;
    const std::string prefix = scratch / "prefix";
    const int status = testsupport::run_child({KORVEL_CMAKE, "--install", KORVEL_BUILD_DIR, "--prefix", prefix},
                                              testsupport::environment_without({}), scratch / "out", 60000,
                                              scratch / "err");
    ASSERT_EQ(status, 0) << testsupport::read_file(scratch / "err");
    std::vector<std::string> installed;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix)) {
        if (entry.is_regular_file())
            installed.push_back(std::filesystem::relative(entry.path(), prefix).string());
    }
    std::sort(installed.begin(), installed.end());
    EXPECT_EQ(installed, (std::vector<std::string>{"bin/korvel-orvanta-client", "bin/libArdentis.so", "bin/sc",
                                                   "include/Ardentis.h"}));
    for (const char* program : {"bin/korvel-orvanta-client", "bin/sc"})
        EXPECT_EQ(::access((prefix + "/" + program).c_str(), X_OK), 0) << program;
    EXPECT_EQ(RunProgram({prefix + "/bin/sc", "--help"}).status, 0);
}

TEST_F(CommandLineTest, TheBenchmarkScriptsListTheOptionsOfTheProgramsTheyRun)
{
    const std::pair<const char*, const char*> pairs[] = {{"bench/run", "eventpath_bench"},
                                                         {"bench/soak", "soak_run"}};
    for (const auto& pair : pairs) {
        const std::vector<std::string> script = option_lines(Help(source(pair.first), "--help").out);
        const std::vector<std::string> program = option_lines(Help(built(pair.second), "--help").out);
        ASSERT_FALSE(program.empty()) << pair.second;
        EXPECT_EQ(script, program) << pair.first;
    }
}

} // namespace
