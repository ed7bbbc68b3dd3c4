#include "utils/FileFunctions.h"

#include "timeutils/TimeUtils.h"
#include "utils/Assertion.h"
#include "utils/LogFunctions.h"
#include "utils/StringPrintf.h"

#include "platform/RegularFile.h"

#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace fs = boost::filesystem;

namespace {

const char* const kSeparators = "/\\";

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileGuard = std::unique_ptr<FILE, FileCloser>;

[[noreturn]] void throw_system_error(const std::string& text)
{
    throw std::runtime_error(text + std::strerror(errno));
}

std::string last_component(const std::string& path)
{
    const size_t separator = path.find_last_of(kSeparators);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// False when the file does not exist; other failures throw, since taking an
// unreadable file for a missing one would replace it with the new data alone.
bool stat_existing(const std::string& name, struct stat& info)
{
    if (::stat(name.c_str(), &info) == 0)
        return true;
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    throw_system_error("cannot stat '" + name + "': ");
}

// Completes a replacement file and renames it over the name. Every deferred write
// is checked before the rename, so a full disk can never put a cut file in
// place of a good one.
void replace_with(FileGuard file, const std::string& temp, const std::string& name, const std::string& data,
                  const struct stat* replaced)
{
    const int fd = ::fileno(file.get());
    if (replaced != nullptr && ::fchmod(fd, replaced->st_mode & 07777) != 0)
        throw_system_error("cannot set permissions of '" + temp + "': ");
    if (!data.empty())
        write_file_data(file.get(), data.data(), data.size(), temp);
    if (std::fflush(file.get()) != 0)
        throw_system_error("cannot write '" + temp + "': ");
    if (::fsync(fd) != 0)
        throw std::runtime_error("cannot FlushFileBuffers '" + temp + "'");
    if (std::fclose(file.release()) != 0)
        throw_system_error("cannot write '" + temp + "': ");
    fs::rename(temp, name);
}

void report_move_failure(const char* format, const std::string& source, const std::string& target,
                         const std::exception& error, bool throw_on_error, std::vector<std::string>* messages)
{
    if (throw_on_error)
        throw std::runtime_error(error.what());
    const std::string text = string_printf(format, source.c_str(), target.c_str(), error.what());
    if (messages != nullptr)
        messages->push_back(text);
    else
        log_warning("%s", text.c_str());
}

// The path as the location checks compare it: absolute, symbolic links and ".."
// resolved whether or not it exists. Linux reads "//x" as "/x"; Boost would take
// "//x" for a network name and leave it relative.
fs::path safety_form(const std::string& text)
{
    size_t extra = 0;
    while (extra + 1 < text.size() && text[extra] == '/' && text[extra + 1] == '/')
        ++extra;
    fs::path result = fs::weakly_canonical(fs::absolute(text.substr(extra)));
    while (result.filename() == ".")
        result = result.parent_path();
    return result;
}

} // namespace

bool is_absolute_path(const std::string& path)
{
    if (path.empty())
        return false;
    return path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos;
}

std::string path_stem(const std::string& path)
{
    const std::string name = last_component(path);
    return name.substr(0, name.rfind('.'));
}

std::string path_extension(const std::string& path)
{
    const std::string name = last_component(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

FILE* open_file(const std::string& name, const char* mode)
{
    if (name.empty())
        throw std::runtime_error("empty filename");
    FILE* file = std::fopen(name.c_str(), mode);
    if (file == nullptr)
        throw_system_error("cannot open '" + name + "' with mode '" + mode + "': ");
    return file;
}

void write_file_data(FILE* file, const void* data, size_t len, const std::string& name)
{
    KORVEL_ASSERT(len);
    if (std::fwrite(data, len, 1, file) != 1)
        throw_system_error("cannot write '" + name + "': ");
}

void read_file_data(FILE* file, void* buffer, size_t len, const std::string& name)
{
    KORVEL_ASSERT(len);
    if (std::fread(buffer, len, 1, file) != 1)
        throw std::runtime_error("cannot read from '" + name + "', eof");
}

std::string read_whole_file(const std::string& name)
{
    if (name.empty())
        throw std::runtime_error("empty filename");
    const std::string refused = "cannot open '" + name + "' with mode 'rb': ";
    const int fd = platform::open_regular_file(name, O_RDONLY);
    if (fd < 0)
        throw_system_error(refused);
    FileGuard file(::fdopen(fd, "rb"));
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(refused + std::strerror(error));
    }
    struct stat info{};
    if (::fstat(fd, &info) != 0)
        throw_system_error(refused);
    if (static_cast<uint64_t>(info.st_size) > kMaxWholeFileSize)
        throw std::runtime_error(refused + std::strerror(EFBIG));
    const off_t size = info.st_size;
    std::string data(static_cast<size_t>(size), '\0');
    if (size > 0)
        read_file_data(file.get(), &data[0], data.size(), name);
    return data;
}

int touch_file(const std::string& filename)
{
    KORVEL_ASSERT(!filename.empty());
    struct utimbuf times{};
    times.actime = times.modtime = static_cast<time_t>(now_us() / 1000000);
    return ::utime(filename.c_str(), &times);
}

std::string sanitize_file_name(std::string name)
{
    for (char& c : name) {
        if (c != '\0' && std::strchr("\"*/:<>?\\|", c) != nullptr)
            c = ' ';
    }
    return name;
}

void move_file(const std::string& source, const std::string& target, bool throw_on_error,
               std::vector<std::string>* messages)
{
    try {
        fs::rename(source, target);
    } catch (const fs::filesystem_error& error) {
        if (error.code().value() != EXDEV)
            return report_move_failure("filed to rename file from %s to %s: %s\n", source, target, error,
                                       throw_on_error, messages);
        try {
            // Replaces the target, as the rename it stands in for would.
            copy_file_replacing(source, target);
            fs::remove(source);
        } catch (const std::runtime_error& copy_error) {
            report_move_failure("failed to move file from %s to %s: %s\n", source, target, copy_error,
                                throw_on_error, messages);
        }
    }
}

// Boost's copy gives up across file systems on current kernels
// (copy_file_range answers EXDEV); the standard library's copy does not.
void copy_file_replacing(const std::string& from, const std::string& to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

void write_file_atomically(const std::string& name, const std::string& data, bool text_mode)
{
    const std::string temp = name + "-temp";
    struct stat replaced{};
    const bool exists = stat_existing(name, replaced);
    // A stale temporary must not lend the new file its permission bits.
    ::unlink(temp.c_str());
    FileGuard file(open_file(temp, text_mode ? "w" : "wb"));
    replace_with(std::move(file), temp, name, data, exists ? &replaced : nullptr);
}

void append_file_atomically(const std::string& name, const std::string& data, bool text_mode)
{
    const std::string temp = name + "-temp";
    struct stat replaced{};
    const bool exists = stat_existing(name, replaced);
    FileGuard file;
    if (exists) {
        copy_file_replacing(name, temp);
        try {
            file.reset(open_file(temp, text_mode ? "a" : "ab"));
        } catch (...) {
            boost::system::error_code ignored;
            fs::remove(temp, ignored);
            throw;
        }
    } else {
        // Old bytes of a stale temporary must not come before the data.
        ::unlink(temp.c_str());
        file.reset(open_file(temp, text_mode ? "w" : "wb"));
    }
    replace_with(std::move(file), temp, name, data, exists ? &replaced : nullptr);
}

void check_safe_location(const std::string& path, const char* cwd_root)
{
    const fs::path location = safety_form(path);
    if (location == fs::path("/"))
        throw std::logic_error("SystemDrive root is a prohibited location for safety reasons");
    if (cwd_root != nullptr && *cwd_root != '\0' && location == safety_form(cwd_root))
        throw std::logic_error("Current working folder root is a prohibited location for safety reasons");
    const std::string text = location.generic_string();
    for (const char* folder : {"/bin", "/boot", "/dev", "/etc", "/lib", "/lib32", "/lib64", "/libx32", "/proc",
                               "/sbin", "/sys", "/usr"}) {
        // A plain prefix: a sibling such as /usrdata is refused as well.
        if (text.rfind(safety_form(folder).generic_string(), 0) == 0)
            throw std::logic_error("system paths are prohibited locations for safety reasons");
    }
}
