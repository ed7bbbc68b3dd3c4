#include "support/ConnectionSettings.h"

#include "support/BridgeLog.h"
#include "support/FilePath.h"
#include "support/InputBounds.h"

#include "platform/CrtConversions.h"
#include "platform/RegularFile.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>

std::string host;
int32_t port = 0;
std::string login;
std::string password;
int32_t local_port = 0;
std::atomic<int32_t> verbosity{1};

namespace {

const char kIniFileName[] = "connection.ini";
// Windows editors put it before the first line of a file saved as UTF-8.
const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool valid_port(int32_t value)
{
    return value >= 1 && value <= 65535;
}

void apply_setting(const std::string& key, const std::string& value)
{
    if (key == "host")
        host = value;
    else if (key == "port")
        port = platform::crt_atoi(value.c_str());
    else if (key == "login")
        login = value;
    else if (key == "password")
        password = value;
    else if (key == "local_port")
        local_port = platform::crt_atoi(value.c_str());
    else if (key == "verbosity")
        // Below 0 even errors would go unwritten.
        verbosity = std::max(0, platform::crt_atoi(value.c_str()));
}

void apply_line(std::string line)
{
    static const boost::regex line_form("([^ \t]*)[ \t]*(.*)");
    // A line ends at its first NUL, as the station library reads the login
    // and password it is given, so the video link checks the same ones. A
    // comment runs from the first '#' on.
    static const std::string line_cut("\0#", 2);
    const size_t cut = line.find_first_of(line_cut);
    if (cut != std::string::npos)
        line.erase(cut);
    if (line.empty())
        return;
    boost::smatch parts;
    if (boost::regex_match(line, parts, line_form))
        apply_setting(parts[1].str(), parts[2].str());
}

} // namespace

void reset_config()
{
    host.clear();
    port = 0;
    login.clear();
    password.clear();
    local_port = 0;
    verbosity = 1;
}

bool read_config(const std::string& executable_path)
{
    const std::string path = path_replace_file_name(executable_path, kIniFileName);
    // A FIFO, folder or device in its place is refused unread, as is a file
    // far larger than any settings file.
    std::string text;
    if (!platform::read_regular_file(path, kMaxSettingsFileSize, text)) {
        // Only a missing file is replaced by the defaults; one that exists but
        // cannot be read is the user's and stays as it is.
        if (errno == ENOENT)
            return create_default_ini(path);
        return false;
    }

    if (text.compare(0, 3, kUtf8ByteOrderMark) == 0)
        text.erase(0, 3);
    // A CR ends a line too: files edited on Windows end their lines with CR LF
    // (the empty line between is skipped), old Mac editors with CR.
    size_t start = 0;
    for (size_t end; (end = text.find_first_of("\r\n", start)) != std::string::npos; start = end + 1)
        apply_line(text.substr(start, end - start));
    apply_line(text.substr(start));
    return true;
}

bool create_default_ini(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        log_message(kLogError, "unable to create default ini %s\n", path.c_str());
        return false;
    }
    host = "localhost";
    port = 5000;
    login = "pelto";
    password = "pelto";
    local_port = 5050;
    verbosity = 1;
    std::fprintf(file, "#Korvel-Orvanta client utility ini file\n");
    std::fprintf(file, "#Connection settings to Korvel server:\n");
    std::fprintf(file, "host\t%s\n", host.c_str());
    std::fprintf(file, "port\t%i\n", port);
    std::fprintf(file, "login\t%s\n", login.c_str());
    std::fprintf(file, "password\t%s\n", password.c_str());
    std::fprintf(file, "\n#Local settings:\n");
    std::fprintf(file, "local_port\t%i\n", local_port);
    std::fprintf(file, "#- this port should be specified at Orvanta when connects to Korvel\n");
    std::fprintf(file, "\nverbosity\t%i\n", verbosity.load());
    std::fclose(file);
    log_message(kLogError, "default ini file created at %s\n", path.c_str());
    return true;
}

bool validate_config()
{
    if (host.empty()) {
        log_message(kLogError, "wrong host specified\n");
        return false;
    }
    if (!valid_port(port)) {
        log_message(kLogError, "wrong port specified\n");
        return false;
    }
    if (login.empty()) {
        log_message(kLogError, "wrong login specified\n");
        return false;
    }
    if (!valid_port(local_port)) {
        log_message(kLogError, "wrong local_port cpecified\n");
        return false;
    }
    return true;
}
