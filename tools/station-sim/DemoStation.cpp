#include "DemoStation.h"

#include <iterator>

namespace stationsim {
namespace {

// Object states: 1 under guard, 0 off guard. Sensor state 0 is quiet, 13 a
// sensor switched off (level 0 on the screen).
const char* const kWorld[] = {
    "group 1 Центральный район",
    "group 2 Северный район",
    "object 101 1 1 Банк «Восход»",
    "sensor 101 1011 1 1 0 Входная дверь",
    "sensor 101 1012 2 1 0 Окно операционного зала",
    "sensor 101 1013 3 2 0 Датчик дыма",
    "object 102 1 1 Аптека №5",
    "sensor 102 1021 1 1 0 Дверь",
    "sensor 102 1022 2 3 0 Тревожная кнопка",
    "object 201 2 0 Склад ООО «Тайга»",
    "sensor 201 2011 1 1 0 Ворота",
    "sensor 201 2012 2 4 13 Периметр",
};

struct ScriptedEvent
{
    const char* command;
    const char* what;
};

// Sensor events: subtype 2 an alarm, 1 its restore. Object events: 10 put
// under guard, 9 taken off guard.
const ScriptedEvent kEvents[] = {
    {"event 3 2 101 2", "alarm    object 101 sensor 2"},
    {"event 3 1 101 2", "restore  object 101 sensor 2"},
    {"event 3 2 102 2", "alarm    object 102 sensor 2"},
    {"event 3 1 102 2", "restore  object 102 sensor 2"},
    {"event 2 10 201 -1", "guard on  object 201"},
    {"event 3 2 201 1", "alarm    object 201 sensor 1"},
    {"event 3 1 201 1", "restore  object 201 sensor 1"},
    {"event 2 9 201 -1", "guard off object 201"},
};

} // namespace

bool DemoStation::Populate(StationControl& control, std::string& error)
{
    std::string account = std::string("account ") + kLogin + " " + kPassword;
    error = control.Execute(account);
    if (error != "ok")
        return false;
    for (const char* command : kWorld) {
        error = control.Execute(command);
        if (error != "ok") {
            error = std::string(command) + ": " + error;
            return false;
        }
    }
    error.clear();
    return true;
}

DemoStation::DemoStation(StationControl& control, std::FILE* out) : m_control(control), m_out(out)
{
}

DemoStation::~DemoStation()
{
    StopEvents();
}

void DemoStation::StartEvents(std::chrono::milliseconds interval)
{
    StopEvents();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    m_thread = std::thread([this, interval] { Run(interval); });
}

void DemoStation::StopEvents()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::string DemoStation::SendNextEvent()
{
    const ScriptedEvent& event = kEvents[m_next];
    m_next = (m_next + 1) % std::size(kEvents);
    const std::string answer = m_control.Execute(event.command);
    // "ok N": the event went out to N connections.
    const std::string line = std::string("event ") + event.what +
                             (answer.compare(0, 3, "ok ") == 0 ? " -> " + answer.substr(3) + " connection(s)"
                                                               : " -> " + answer);
    if (m_out) {
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
    }
    return line;
}

void DemoStation::Run(std::chrono::milliseconds interval)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, interval, [this] { return m_stop; })) {
        lock.unlock();
        SendNextEvent();
        lock.lock();
    }
}

} // namespace stationsim
