#pragma once

// What the harnesses share: a private folder for the files an input makes, and
// a check that turns a broken promise into a finding.

#include "platform/ModulePath.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzsupport {

// A finding that is no crash: the message, then abort, which libFuzzer reports
// and keeps the input for.
#define FUZZ_CHECK(condition, message)                                                           \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", message, __FILE__, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

// A fresh folder under the system's temporary folder for the life of the process.
class Sandbox
{
public:
    explicit Sandbox(const std::string& name)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / ("korvel-fuzz-" + name + "-XXXXXX")).string();
        if (::mkdtemp(&pattern[0]) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~Sandbox()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A sandbox that also stands in for the host's folder (its settings file) and the
// library's (its data and templates), so nothing lands beside the harness.
class LibrarySandbox : public Sandbox
{
public:
    explicit LibrarySandbox(const std::string& name) : Sandbox(name)
    {
        platform::set_executable_path_override(*this / "host");
        platform::set_module_path_override(*this / "libArdentis.so");
    }
};

// "--help" or "-h" anywhere on the command line: the harness's usage on
// standard output, and the program ends before libFuzzer starts.
inline void AnswerHelp(int argc, char** argv, const char* what)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "-h") != 0)
            continue;
        const char* slash = std::strrchr(argv[0], '/');
        std::printf("usage: %s [-flag=value...] [CORPUS_FOLDER...]\n%s\n"
                    "A libFuzzer harness; fuzz/run builds and runs it, -help=1 lists libFuzzer's flags.\n",
                    slash != nullptr ? slash + 1 : argv[0], what);
        std::exit(0);
    }
}

// A harness that keeps no state: `what` is the input it feeds, for its usage.
#define FUZZ_HARNESS(what)                                          \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)    \
    {                                                               \
        fuzzsupport::AnswerHelp(*argc, *argv, what);                \
        return 0;                                                   \
    }

// The harness's state, made once before the first input and kept for the life
// of the process: `harness` points at it.
#define FUZZ_HARNESS_STATE(Type, what)                              \
    namespace {                                                     \
    Type* harness = nullptr;                                        \
    }                                                               \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)    \
    {                                                               \
        fuzzsupport::AnswerHelp(*argc, *argv, what);                \
        harness = new Type();                                       \
        return 0;                                                   \
    }

inline void WriteFile(const std::string& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good(), "cannot write the input's file");
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace fuzzsupport
