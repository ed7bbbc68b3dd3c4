#include "ThreadCpu.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace eventpath {

bool parse_stat_line(const std::string& line, ThreadTicks& ticks)
{
    // The name sits in parentheses and may hold blanks and parentheses itself.
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    std::istringstream fields(line.substr(close + 1));
    // After the name: state, then fields 4 to 13, then utime and stime.
    std::string field;
    for (int i = 3; i <= 13; ++i) {
        if (!(fields >> field))
            return false;
    }
    long long user = 0;
    long long system = 0;
    if (!(fields >> user >> system))
        return false;
    ticks.name = line.substr(open + 1, close - open - 1);
    ticks.ticks = user + system;
    return true;
}

std::map<pid_t, ThreadTicks> read_thread_ticks(pid_t pid)
{
    std::map<pid_t, ThreadTicks> threads;
    std::error_code error;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::ifstream in(entry.path() / "stat");
        std::string line;
        ThreadTicks ticks;
        if (std::getline(in, line) && parse_stat_line(line, ticks))
            threads[static_cast<pid_t>(std::stol(entry.path().filename().string()))] = ticks;
    }
    return threads;
}

std::map<pid_t, std::string> idle_thread_roles(pid_t pid)
{
    std::map<pid_t, std::string> roles;
    const auto threads = read_thread_ticks(pid);
    const auto main = threads.find(pid);
    if (main == threads.end())
        return roles;
    for (const auto& thread : threads) {
        roles[thread.first] = thread.second.name;
        if (thread.first == pid || thread.second.name != main->second.name)
            continue;
        std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(thread.first) + "/syscall");
        long call = -1;
        if (!(in >> call))
            continue;
        if (call == SYS_epoll_wait || call == SYS_epoll_pwait)
            roles[thread.first] = "io";
        else if (call == SYS_poll || call == SYS_ppoll)
            roles[thread.first] = "worker";
    }
    return roles;
}

std::vector<ThreadShare> thread_shares(const std::map<pid_t, ThreadTicks>& before,
                                       const std::map<pid_t, ThreadTicks>& after, double seconds)
{
    std::vector<ThreadShare> shares;
    const double ticksPerSecond = static_cast<double>(::sysconf(_SC_CLK_TCK));
    for (const auto& thread : after) {
        const auto earlier = before.find(thread.first);
        const long long used = thread.second.ticks - (earlier == before.end() ? 0 : earlier->second.ticks);
        if (used <= 0 || seconds <= 0)
            continue;
        ThreadShare share;
        share.tid = thread.first;
        share.name = thread.second.name;
        share.percent = 100.0 * static_cast<double>(used) / ticksPerSecond / seconds;
        shares.push_back(share);
    }
    std::sort(shares.begin(), shares.end(),
              [](const ThreadShare& a, const ThreadShare& b) { return a.percent > b.percent; });
    return shares;
}

} // namespace eventpath
