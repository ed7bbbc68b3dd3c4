// sc: creates, starts, stops and deletes a service, as the service manager's own
// tool does elsewhere, with systemd doing the work. A service is a unit file
// named after the service: lower case, blanks as '-', ".service" appended.
//
//   sc create "NAME" binPath= PATH [DisplayName= TEXT]
//   sc start "NAME"
//   sc stop "NAME"
//   sc delete "NAME"
//
// SC_UNIT_DIR redirects the unit folder (default /etc/systemd/system) and
// SC_SYSTEMCTL the systemctl program, so tests never touch the system's services.
// The exit status is the error code, as far as it fits.

#include "platform/Event.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorInvalidName = 123;
constexpr int kErrorServiceRequestFailed = 1053;
constexpr int kErrorServiceDoesNotExist = 1060;
constexpr int kErrorServiceExists = 1073;

std::string unit_folder()
{
    const char* folder = std::getenv("SC_UNIT_DIR");
    return folder != nullptr && folder[0] != '\0' ? folder : "/etc/systemd/system";
}

std::string systemctl_program()
{
    const char* program = std::getenv("SC_SYSTEMCTL");
    return program != nullptr && program[0] != '\0' ? program : "systemctl";
}

// The unit's name, or empty when the service name holds characters a unit name
// cannot (a '/' would leave the unit folder).
std::string unit_name(const std::string& serviceName)
{
    std::string name;
    for (char c : serviceName) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == ' ')
            name += '-';
        else if (std::isalnum(u) != 0 || c == '-' || c == '_' || c == '.' || c == ':')
            name += static_cast<char>(std::tolower(u));
        else
            return std::string();
    }
    if (name.empty() || name[0] == '.')
        return std::string();
    return name + ".service";
}

// systemd unquotes, unescapes and expands '%' specifiers and '$' variables.
std::string quote_exec_path(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        else if (c == '%' || c == '$')
            quoted += c;
        quoted += c;
    }
    return quoted + "\"";
}

std::string escape_specifiers(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '%')
            escaped += '%';
        escaped += c;
    }
    return escaped;
}

int fail(const char* operation, int code, const char* text)
{
    std::printf("[SC] %s FAILED %d:\n\n%s\n\n", operation, code, text);
    return code;
}

// Runs systemctl with the arguments; its exit code, or -1 when it cannot run.
int systemctl(const std::string& arguments)
{
    platform::Process process;
    if (!process.Start("\"" + systemctl_program() + "\" " + arguments)) {
        std::fprintf(stderr, "sc: cannot run %s: %s\n", systemctl_program().c_str(),
                     std::strerror(static_cast<int>(process.GetError())));
        return -1;
    }
    process.Wait(platform::kInfinite);
    return process.GetExitCode();
}

bool unit_exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

int create(const std::string& serviceName, const std::string& unit, int argc, char** argv)
{
    std::string binPath;
    std::string displayName = serviceName;
    for (int i = 0; i < argc; i += 2) {
        if (i + 1 >= argc)
            return fail("CreateService", kErrorInvalidParameter, "The option has no value.");
        if (strcasecmp(argv[i], "binPath=") == 0)
            binPath = argv[i + 1];
        else if (strcasecmp(argv[i], "DisplayName=") == 0)
            displayName = argv[i + 1];
        else
            return fail("CreateService", kErrorInvalidParameter, "The option is not known.");
    }
    if (binPath.empty() || binPath.find('\n') != std::string::npos || displayName.find('\n') != std::string::npos)
        return fail("CreateService", kErrorInvalidParameter, "The parameter is incorrect.");

    const std::string path = unit_folder() + "/" + unit;
    // Never rewrites a service that is already there.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return fail("CreateService", kErrorServiceExists, "The specified service already exists.");
        return fail("CreateService", error, std::strerror(error));
    }
    // Started on demand only: no [Install] section, nothing enables it at boot.
    const std::string text = "[Unit]\nDescription=" + escape_specifiers(displayName) +
                             "\n\n[Service]\nType=simple\nExecStart=" + quote_exec_path(binPath) + "\n";
    // A short write sets no errno, and a failed close has its own: each failure
    // gets a code that is never 0, so it never reads as success.
    int error = 0;
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0)
        error = errno;
    else if (static_cast<size_t>(written) != text.size())
        error = EIO;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(path.c_str());
        return fail("CreateService", error, std::strerror(error));
    }
    systemctl("daemon-reload");
    std::printf("[SC] CreateService SUCCESS\n");
    return 0;
}

int control(const char* operation, const std::string& unit, const std::string& command)
{
    const int code = systemctl(command + " " + unit);
    if (code != 0) {
        std::printf("[SC] %s FAILED %d:\n\nsystemctl ended with status %d.\n\n", operation,
                    kErrorServiceRequestFailed, code);
        return kErrorServiceRequestFailed;
    }
    std::printf("[SC] %s SUCCESS\n", operation);
    return 0;
}

int remove_unit(const std::string& path)
{
    if (::unlink(path.c_str()) != 0) {
        const int error = errno;
        return fail("DeleteService", error, std::strerror(error));
    }
    systemctl("daemon-reload");
    std::printf("[SC] DeleteService SUCCESS\n");
    return 0;
}

// Asked for, the usage is an answer; after a wrong command line it is a refusal.
int usage(int status = kErrorInvalidParameter)
{
    std::printf("DESCRIPTION:\n"
                "        SC creates, starts, stops and deletes services.\n"
                "USAGE:\n"
                "        sc create \"NAME\" binPath= PATH [DisplayName= TEXT]\n"
                "        sc start \"NAME\"\n"
                "        sc stop \"NAME\"\n"
                "        sc delete \"NAME\"\n");
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return usage(0);
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string serviceName = argv[2];
    const std::string unit = unit_name(serviceName);
    if (unit.empty())
        return fail("OpenService", kErrorInvalidName, "The service name is not valid.");
    const std::string path = unit_folder() + "/" + unit;

    if (strcasecmp(command.c_str(), "create") == 0)
        return create(serviceName, unit, argc - 3, argv + 3);
    if (argc != 3)
        return usage();
    const bool known = strcasecmp(command.c_str(), "start") == 0 || strcasecmp(command.c_str(), "stop") == 0 ||
                       strcasecmp(command.c_str(), "delete") == 0;
    if (!known)
        return usage();
    if (!unit_exists(path))
        return fail("OpenService", kErrorServiceDoesNotExist,
                    "The specified service does not exist as an installed service.");
    if (strcasecmp(command.c_str(), "start") == 0)
        return control("StartService", unit, "start");
    if (strcasecmp(command.c_str(), "stop") == 0)
        return control("ControlService", unit, "stop --no-block");
    return remove_unit(path);
}
