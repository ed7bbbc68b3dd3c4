#include "logger/Logger.h"

#include "logger/Backlog.h"
#include "timeutils/TimeUtils.h"
#include "utils/Assertion.h"
#include "utils/FileFunctions.h"
#include "utils/LogFunctions.h"
#include "utils/ProcessLogger.h"
#include "utils/StringFunctions.h"
#include "utils/StringPrintf.h"

#include <boost/filesystem.hpp>
#include <boost/regex.hpp>

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace fs = boost::filesystem;

namespace {

constexpr uint32_t kBacklogSize = 0x20000;
// Names a crash log may try: each one lost means another save took it at the
// same moment, so running out takes that many saves at once.
constexpr int kCrashNameAttempts = 16;

std::mutex& global_logger_mutex()
{
    // Never destroyed: loggers may still write while static objects go.
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

thread_local bool t_holds_global_logger_mutex = false;

std::string name_with(const std::string& file_name, const char* middle)
{
    const fs::path path(file_name);
    return path.stem().string() + middle + path.extension().string();
}

std::string error_text(const boost::system::error_code& error)
{
    return error.message();
}

// Delivers a message to the lock's list when given, else logs it.
void report(DeferredLogLock* lock, const std::string& message)
{
    if (lock != nullptr)
        lock->add(message);
    else
        log_warning("%s", message.c_str());
}

// Copies and removes the source, for a rename that could not be done.
NewFileMove copy_and_remove(const std::string& from, const std::string& to, bool replace, DeferredLogLock& lock)
{
    std::error_code error;
    // Without replacing, the copy creates the target exclusively.
    std::filesystem::copy_file(from, to,
                               replace ? std::filesystem::copy_options::overwrite_existing
                                       : std::filesystem::copy_options::none,
                               error);
    if (error == std::errc::file_exists && !replace)
        return NewFileMove::NameTaken;
    if (error) {
        lock.add(string_printf("Logger: failed to copy file from '%s' to '%s': %s\n", from.c_str(), to.c_str(),
                               error.message().c_str()));
        return NewFileMove::Failed;
    }
    if (::unlink(from.c_str()) != 0)
        lock.add(string_printf("Logger: failed to remove file '%s': %s\n", from.c_str(), std::strerror(errno)));
    return NewFileMove::Moved;
}

bool holds_entry(const NumberedFiles& files, uint64_t key, const std::string& path)
{
    const auto range = files.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == path)
            return true;
    }
    return false;
}

// The folders name one place (compared as paths, so "logs/" is "logs").
bool same_folder(const std::string& a, const std::string& b)
{
    boost::system::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
}

// Appends the file to an existing one (a second rotation within one second)
// and removes it.
bool append_and_remove(const std::string& from, const std::string& to, DeferredLogLock& lock)
{
    try {
        append_file_atomically(to, read_whole_file(from), false);
    } catch (const std::exception& error) {
        lock.add(string_printf("Logger: failed to copy file from '%s' to '%s': %s\n", from.c_str(), to.c_str(),
                               error.what()));
        return false;
    }
    boost::system::error_code error;
    if (!fs::remove(from, error) && error)
        lock.add(string_printf("Logger: failed to remove file '%s': %s\n", from.c_str(), error_text(error).c_str()));
    return true;
}

} // namespace

GlobalLoggerLock::GlobalLoggerLock(bool without_waiting)
{
    if (without_waiting && t_holds_global_logger_mutex) {
        m_locked = false;
        m_under_own_hold = true;
        return;
    }
    if (without_waiting)
        m_locked = global_logger_mutex().try_lock();
    else
        global_logger_mutex().lock();
    if (m_locked)
        t_holds_global_logger_mutex = true;
}

GlobalLoggerLock::~GlobalLoggerLock()
{
    unlock();
}

void GlobalLoggerLock::unlock()
{
    if (!m_locked)
        return;
    m_locked = false;
    t_holds_global_logger_mutex = false;
    global_logger_mutex().unlock();
}

bool GlobalLoggerLock::held_by_this_thread()
{
    return t_holds_global_logger_mutex;
}

void DeferredLogLock::print_deferred_messages()
{
    m_lock.unlock();
    std::vector<std::string> messages;
    messages.swap(m_messages);
    for (const std::string& message : messages)
        log_warning("%s", message.c_str());
}

Logger::Logger(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
               const std::string& identity, uint64_t max_file_size, int32_t max_old_files,
               const std::string& name_part)
    : name_part(name_part), max_file_size(max_file_size), max_old_files(max_old_files), log_filename(log_filename),
      log_dir(log_dir), crashlog_dir(crashlog_dir), identity(identity),
      m_backlog(std::make_unique<Backlog>(kBacklogSize))
{
    start();
}

Logger::Logger(const std::string& log_dir, const std::string& crashlog_dir, const std::string& log_filename,
               uint64_t max_file_size, int32_t max_old_files, const std::string& name_part)
    : name_part(name_part), max_file_size(max_file_size), max_old_files(max_old_files), log_filename(log_filename),
      log_dir(log_dir), crashlog_dir(crashlog_dir)
{
    start();
}

void Logger::start()
{
    m_bkp_name = name_with(log_filename, ".bkp");
    m_older_name = name_with(log_filename, ".older");
    std::vector<std::string> messages;
    bool listed = false;
    {
        // Our caller may hold the mutex itself, and whoever else holds it may
        // wait for a lock of our caller's; so the old files are listed here only
        // if the mutex is ours without waiting, else by the watchdog. Messages
        // are logged by the watchdog too: a listener may take a lock our caller holds.
        DeferredLogLock lock(true);
        if (lock.holds()) {
            list_old_files(olds_dir(), lock);
            listed = true;
        }
        messages.swap(lock.messages());
    }
    // Last, so that nothing above can throw with the thread running. Nothing
    // waits for it: its start-up warning comes whenever it gets there.
    m_watchdog = std::thread([this, listed, messages = std::move(messages)] {
        if (!listed) {
            DeferredLogLock lock;
            list_old_files(olds_dir(), lock);
        }
        for (const std::string& message : messages)
            log_warning("%s", message.c_str());
        logger_clock_screwup_thread(m_watchdog_control);
    });
}

Logger::~Logger()
{
    Logger* self = this;
    g_logger.compare_exchange_strong(self, nullptr);
    Logger::stop();
}

void Logger::stop()
{
    bool stopping = false;
    {
        GlobalLoggerLock lock;
        if (!m_stopped) {
            m_stopped = stopping = true;
            m_watchdog_control.request_stop();
            close_file();
        }
    }
    // Joined without the mutex: the watchdog may be logging through it.
    if (stopping && m_watchdog.joinable())
        m_watchdog.join();
}

std::string Logger::crash_file_base() const
{
    return allocate_crash_filename(crashlog_dir, log_filename.empty() ? identity : log_filename);
}

void Logger::save_crash_log()
{
    boost::system::error_code ignored;
    fs::create_directories(crashlog_dir, ignored);
    std::string name;
    for (int attempt = 0; attempt < kCrashNameAttempts; ++attempt) {
        // Named before locking, since pruning old crash files may log. A save
        // that takes the same name meanwhile sends this one to the next name.
        name = crash_file_base() + ".log";
        if (log_filename.empty()) {
            GlobalLoggerLock lock;
            if (!m_backlog || m_backlog->dump(name))
                return;
            continue;
        }
        DeferredLogLock lock;
        close_file();
        const NewFileMove moved = logger_move_to_new_file(log_dir + "/" + log_filename, name, lock);
        if (moved == NewFileMove::Moved)
            m_truncate_on_open = true;
        if (moved != NewFileMove::NameTaken)
            return;
    }
    std::fprintf(stderr, "Logger: Cannot open '%s'\n", name.c_str());
}

void Logger::notify_listeners(int /*level*/, const char* text)
{
    if (*text == '\0')
        return;
    std::vector<std::shared_ptr<LogListener>> live;
    {
        std::lock_guard<std::mutex> lock(m_listeners_mutex);
        for (auto it = m_listeners.begin(); it != m_listeners.end();) {
            if (std::shared_ptr<LogListener> listener = it->lock()) {
                live.push_back(std::move(listener));
                ++it;
            } else {
                it = m_listeners.erase(it);
            }
        }
    }
    const std::string message = text;
    for (const auto& listener : live)
        listener->on_message(message);
}

void Logger::add_listener(const std::shared_ptr<LogListener>& listener)
{
    std::lock_guard<std::mutex> lock(m_listeners_mutex);
    m_listeners.push_back(listener);
}

void Logger::write(const char* text)
{
    if (log_filename.empty()) {
        GlobalLoggerLock lock;
        if (m_backlog)
            m_backlog->write(text);
        return;
    }
    DeferredLogLock lock;
    // A file removed under us (a cleanup job, an operator) would take the text
    // with it: a new one is opened at the path, its folder made again.
    if (m_file != nullptr && file_moved_away())
        close_file();
    open_file(!m_truncate_on_open);
    if (m_file == nullptr)
        return;
    std::fwrite(text, 1, std::strlen(text), m_file);
    std::fflush(m_file);
    const off_t position = ::ftello(m_file);
    if (position > 0 && static_cast<uint64_t>(position) > max_file_size && !m_rotation_disabled)
        rotate(true, lock);
}

std::string Logger::olds_dir() const
{
    return log_dir + "/" + log_filename + "_olds";
}

void Logger::open_file(bool append)
{
    if (m_stopped || m_file != nullptr)
        return;
    boost::system::error_code error;
    if (!log_dir.empty() && !fs::is_directory(log_dir, error)) {
        fs::create_directories(log_dir, error);
        if (error)
            std::fprintf(stderr, "Logger: Can't create directory '%s': %s\n", log_dir.c_str(),
                         error_text(error).c_str());
    }
    const std::string path = log_dir + "/" + log_filename;
    // "e": child processes do not inherit the log.
    m_file = std::fopen(path.c_str(), append ? "abe" : "wbe");
    if (m_file == nullptr) {
        std::fprintf(stderr, "Logger: Cannot open '%s'\n", path.c_str());
        return;
    }
    m_truncate_on_open = false;
    m_file_path = path;
    platform::FileIdentity identity;
    m_file_identity = platform::file_identity(::fileno(m_file), identity) ? std::optional(identity) : std::nullopt;
    const int flags = ::fcntl(::fileno(m_file), F_GETFD);
    if (flags < 0 || (flags & FD_CLOEXEC) == 0)
        std::fputs("Logger: Failed to set handle information\n", stderr);
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    const std::string head = name_part + "\n" + head_line;
    std::fwrite(head.data(), 1, head.size(), m_file);
}

void Logger::close_file()
{
    if (m_file == nullptr)
        return;
    std::fclose(m_file);
    m_file = nullptr;
}

bool Logger::file_moved_away() const
{
    return m_file_identity && !platform::path_names_file(m_file_path, *m_file_identity);
}

void Logger::rotate(bool size_triggered, DeferredLogLock& lock)
{
    if (m_file == nullptr)
        return;
    close_file();
    // Removed or renamed under us, it took its text along: what has its name now
    // is not ours to move.
    if (file_moved_away()) {
        open_file(true);
        return;
    }
    const std::string current = log_dir + "/" + log_filename;
    std::string target;
    uint64_t stamp = 0;
    bool moved = false;
    boost::system::error_code error;
    if (max_old_files != 0) {
        const std::string digits = format_time_us("%Y%m%d%H%M%S", now_us(), false);
        std::istringstream(digits) >> stamp;
        target = olds_dir() + "/" + digits + "_" + name_part + log_filename;
        if (!fs::is_directory(olds_dir(), error))
            fs::create_directory(olds_dir(), error);
        if (error)
            lock.add(string_printf("Logger: Can't create directory '%s': %s\n", olds_dir().c_str(),
                                   error_text(error).c_str()));
        else if (fs::exists(target, error))
            moved = append_and_remove(current, target, lock);
        else
            moved = logger_move_file(current, target, lock);
    } else {
        target = log_dir + "/" + m_older_name;
        if (!fs::remove(target, error) && error)
            lock.add(string_printf("Logger: Failed to remove file '%s': %s\n", target.c_str(),
                                   error_text(error).c_str()));
        moved = logger_move_file(current, target, lock);
    }
    if (max_old_files > 0 && !m_rotation_disabled) {
        if (moved) {
            std::lock_guard<std::mutex> guard(old_files_mutex);
            if (!holds_entry(old_files, stamp, target))
                old_files.emplace(stamp, target);
        }
        trim_old_files(lock);
    }
    // A file removed while it was being moved is no failure of rotation.
    if (size_triggered)
        m_rotation_disabled = !moved && !file_moved_away();
    open_file(true);
}

void Logger::rotate_now()
{
    DeferredLogLock lock;
    rotate(false, lock);
}

void Logger::trim_old_files(DeferredLogLock& lock)
{
    std::lock_guard<std::mutex> guard(old_files_mutex);
    old_files = remove_old_files(old_files, max_old_files, &lock);
}

void Logger::list_old_files(const std::string& folder, DeferredLogLock& lock)
{
    if (log_filename.empty())
        return;
    NumberedFiles scan;
    boost::system::error_code error;
    if (fs::is_directory(folder, error)) {
        // The file name stands for itself: its dot must not match other files.
        const std::string name = boost::regex_replace(log_filename, boost::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\\\$&");
        scan = remove_old_files(ls_regexp(folder, "([0-9]{14})_.*" + name, &lock.messages()), max_old_files, &lock);
    }
    std::lock_guard<std::mutex> guard(old_files_mutex);
    old_files = scan;
}

void Logger::set_name_part(const std::string& text)
{
    GlobalLoggerLock lock;
    name_part = text;
}

void Logger::change_log_dir(const std::string& new_dir, uint64_t max_size, int32_t max_count)
{
    if (log_filename.empty())
        return;
    try {
        DeferredLogLock lock;
        max_file_size = max_size;
        max_old_files = max_count;
        if (same_folder(new_dir, log_dir)) {
            trim_old_files(lock);
            return;
        }
        boost::system::error_code error;
        if (!fs::is_directory(new_dir, error) && !fs::create_directory(new_dir, error) && error)
            throw std::runtime_error(
                string_printf("Can't create directory '%s': %s", new_dir.c_str(), error_text(error).c_str()));
        const std::string new_path = new_dir + "/" + log_filename;
        if (fs::exists(new_path, error)) {
            fs::rename(new_path, new_dir + "/" + m_bkp_name, error);
            if (error)
                fs::remove(new_path, error);
            if (error)
                throw std::runtime_error(
                    string_printf("Can't remove '%s': %s", new_path.c_str(), error_text(error).c_str()));
        }
        close_file();
        const std::string old_path = log_dir + "/" + log_filename;
        if (!fs::exists(old_path, error) || logger_move_file(old_path, new_path, lock))
            log_dir = new_dir;
        open_file(true);
        list_old_files(olds_dir(), lock);
    } catch (const std::exception& error) {
        log_warning("Logger: Can't change log dir: %s\n", error.what());
    }
}

std::vector<LogFileText> Logger::read_logs()
{
    std::vector<LogFileText> list;
    // All under the global mutex, so that no trim removes a file in between.
    DeferredLogLock lock;
    for (const std::string& name : {log_filename, m_bkp_name, m_older_name})
        read_file_lines(list, log_dir + "/" + name, &lock);
    std::lock_guard<std::mutex> guard(old_files_mutex);
    for (auto it = old_files.rbegin(); it != old_files.rend(); ++it)
        read_file_lines(list, it->second, &lock);
    return list;
}

bool logger_move_file(const std::string& from, const std::string& to, DeferredLogLock& lock)
{
    return ::rename(from.c_str(), to.c_str()) == 0 || copy_and_remove(from, to, true, lock) == NewFileMove::Moved;
}

NewFileMove logger_move_to_new_file(const std::string& from, const std::string& to, DeferredLogLock& lock)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return NewFileMove::Moved;
    if (errno == EEXIST)
        return NewFileMove::NameTaken;
    // Across file systems, or where the flag is not known.
    return copy_and_remove(from, to, false, lock);
}

void read_file_lines(std::vector<LogFileText>& list, const std::string& path, DeferredLogLock* lock)
{
    try {
        list.push_back(LogFileText{fs::path(path).filename().string(), read_whole_file(path)});
    } catch (const std::exception& error) {
        report(lock, string_printf("Can't read file '%s': '%s'\n", path.c_str(), error.what()));
    }
}

NumberedFiles remove_old_files(NumberedFiles files, int32_t max_size, DeferredLogLock* lock)
{
    KORVEL_ASSERT(max_size >= 0);
    while (files.size() > static_cast<size_t>(max_size)) {
        const std::string& path = files.begin()->second;
        try {
            fs::remove(path);
        } catch (const std::exception& error) {
            boost::system::error_code ignored;
            // One that still exists is given up, so the trimming ends.
            const char* format = fs::exists(path, ignored) ? "Removing file failed: %s, message:\n%s\n"
                                                           : "Removing file failed: file doesn't exist %s, message:\n%s\n";
            report(lock, string_printf(format, path.c_str(), error.what()));
        }
        files.erase(files.begin());
    }
    return files;
}
