#include "logger/ClockWatchdog.h"

#include "threadutils/ThreadUtils.h"
#include "timeutils/TimeUtils.h"
#include "utils/LogFunctions.h"
#include "utils/ProcessLogger.h"

namespace {

constexpr std::chrono::milliseconds kPause(500);
// Sleepers are woken this often during an episode.
constexpr std::chrono::milliseconds kWakeInterval(10);
constexpr uint64_t kEpisodeUs = 2000000;

void wake_sleepers()
{
    if (Logger* logger = g_logger.load())
        logger->sleep_condition.notify_all();
}

} // namespace

void WatchdogControl::request_stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_condition.notify_all();
}

bool WatchdogControl::wait_for_stop(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_condition.wait_for(lock, pause, [this] { return m_stop; });
}

void logger_clock_screwup_thread(WatchdogControl& control)
{
    set_current_thread_name("clock_screwup");
    if (control.wait_for_stop(std::chrono::milliseconds(0)))
        return;
    uint64_t previous = 0;
    do {
        const uint64_t now = static_cast<uint64_t>(now_us());
        if (now < previous)
            logger_wait_clock_screwup(now, control);
        previous = now;
    } while (!control.wait_for_stop(kPause));
}

void logger_wait_clock_screwup(uint64_t t, WatchdogControl& control)
{
    log_info("DETECTED CLOCK SCREWUP\n");
    const uint64_t target = t + kEpisodeUs;
    while (static_cast<uint64_t>(now_us()) <= target) {
        wake_sleepers();
        if (control.wait_for_stop(kWakeInterval))
            break;
    }
    log_info("CLOCK SCREWUP OVER\n");
    wake_sleepers();
}
