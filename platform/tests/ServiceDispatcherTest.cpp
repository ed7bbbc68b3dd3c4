#include "platform/ServiceDispatcher.h"

#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// When the stop signal is sent to the dispatcher's thread.
enum class SignalAt { BeforeDispatcher, BeforeRegistering, AfterRegistering };

// What the service under test does and saw; the entry and the handler are plain
// functions, as the dispatcher takes them.
struct Probe {
    pthread_t dispatcherThread{};
    int signal = SIGTERM;
    SignalAt signalAt = SignalAt::AfterRegistering;
    platform::ServiceStatus finalStatus;
    std::atomic<int> controls{0};
    std::atomic<uint32_t> lastControl{0};
    std::atomic<bool> stop{false};
    std::string name;
    int argc = 0;
    bool registered = false;
    bool gotStopInTime = false;
};

Probe* g_probe = nullptr;

void probe_handler(uint32_t control)
{
    g_probe->lastControl = control;
    ++g_probe->controls;
    g_probe->stop = true;
}

void probe_service(int argc, char** argv)
{
    Probe& probe = *g_probe;
    probe.argc = argc;
    probe.name = argv[0];
    if (probe.signalAt == SignalAt::BeforeRegistering)
        ::pthread_kill(probe.dispatcherThread, probe.signal);
    const platform::ServiceStatusHandle handle = platform::register_service_ctrl_handler(argv[0], probe_handler);
    probe.registered = handle != 0;
    platform::ServiceStatus running;
    running.serviceType = platform::kServiceWin32OwnProcess;
    running.currentState = platform::kServiceRunning;
    running.controlsAccepted = platform::kServiceAcceptStop;
    platform::set_service_status(handle, running);
    if (probe.signalAt == SignalAt::AfterRegistering)
        ::pthread_kill(probe.dispatcherThread, probe.signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!probe.stop && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    probe.gotStopInTime = probe.stop;
    platform::set_service_status(handle, probe.finalStatus);
}

class ServiceDispatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* saved = std::getenv("INVOCATION_ID");
        m_hadInvocation = saved != nullptr;
        if (saved != nullptr)
            m_savedInvocation = saved;
        g_probe = &m_probe;
        m_probe.dispatcherThread = ::pthread_self();
        m_probe.finalStatus.serviceType = platform::kServiceWin32OwnProcess;
        m_probe.finalStatus.currentState = platform::kServiceStopped;
    }
    void TearDown() override
    {
        if (m_hadInvocation)
            ::setenv("INVOCATION_ID", m_savedInvocation.c_str(), 1);
        else
            ::unsetenv("INVOCATION_ID");
        g_probe = nullptr;
    }

    bool dispatch(uint32_t& exitCode)
    {
        char name[] = "Probe Service";
        const platform::ServiceTableEntry table[] = {{name, probe_service}, {nullptr, nullptr}};
        return platform::start_service_ctrl_dispatcher(table, exitCode);
    }

    Probe m_probe;
    bool m_hadInvocation = false;
    std::string m_savedInvocation;
};

TEST_F(ServiceDispatcherTest, FromConsoleFailsWithoutRunningTheService)
{
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        if (value == nullptr)
            ::unsetenv("INVOCATION_ID");
        else
            ::setenv("INVOCATION_ID", value, 1);
        EXPECT_FALSE(platform::started_by_service_manager());
        uint32_t exitCode = 0;
        EXPECT_FALSE(dispatch(exitCode));
        EXPECT_EQ(exitCode, platform::kErrorFailedServiceControllerConnect);
        EXPECT_EQ(exitCode & 0xFF, 39u);
        EXPECT_EQ(m_probe.argc, 0);
    }
}

TEST_F(ServiceDispatcherTest, StopSignalsReachHandlerAndDispatcherReturnsReportedCode)
{
    struct Case {
        int signal;
        SignalAt at;
        uint32_t win32ExitCode;
        uint32_t specificExitCode;
        uint32_t expected;
    };
    const Case cases[] = {
        {SIGTERM, SignalAt::AfterRegistering, 0, 0, 0},
        {SIGINT, SignalAt::AfterRegistering, 0, 0, 0},
        {SIGHUP, SignalAt::AfterRegistering, 0, 0, 0},
        {SIGQUIT, SignalAt::AfterRegistering, 0, 0, 0},
        {SIGTERM, SignalAt::BeforeRegistering, 0, 0, 0},
        // Held from the program's start-up, as a service process does.
        {SIGTERM, SignalAt::BeforeDispatcher, 0, 0, 0},
        {SIGTERM, SignalAt::AfterRegistering, platform::kErrorServiceSpecificError, 3, 3},
        {SIGINT, SignalAt::AfterRegistering, 1610, 9, 1610},
    };
    ::setenv("INVOCATION_ID", "0123456789abcdef", 1);
    ASSERT_TRUE(platform::started_by_service_manager());
    sigset_t unblocked;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &unblocked);
    for (const Case& c : cases) {
        m_probe.signal = c.signal;
        m_probe.signalAt = c.at;
        if (c.at == SignalAt::BeforeDispatcher) {
            platform::block_stop_signals();
            ::pthread_kill(m_probe.dispatcherThread, c.signal);
        }
        m_probe.finalStatus.win32ExitCode = c.win32ExitCode;
        m_probe.finalStatus.serviceSpecificExitCode = c.specificExitCode;
        m_probe.stop = false;
        m_probe.controls = 0;
        uint32_t exitCode = 99;
        ASSERT_TRUE(dispatch(exitCode));
        EXPECT_EQ(exitCode, c.expected);
        EXPECT_TRUE(m_probe.registered);
        EXPECT_TRUE(m_probe.gotStopInTime) << c.signal;
        EXPECT_EQ(m_probe.controls.load(), 1);
        EXPECT_EQ(m_probe.lastControl.load(), platform::kServiceControlStop);
        EXPECT_EQ(m_probe.argc, 1);
        EXPECT_EQ(m_probe.name, "Probe Service");

        // The caller's signal mask is back as it was.
        sigset_t mask;
        ::pthread_sigmask(SIG_SETMASK, &unblocked, &mask);
        for (const int stop : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
            EXPECT_EQ(sigismember(&mask, stop), c.at == SignalAt::BeforeDispatcher ? 1 : 0) << stop;
    }
}

TEST_F(ServiceDispatcherTest, NoHandleOutsideARunningService)
{
    EXPECT_EQ(platform::register_service_ctrl_handler("x", probe_handler), 0u);
    platform::ServiceStatus status;
    status.currentState = platform::kServiceStopped;
    EXPECT_FALSE(platform::set_service_status(1, status));
    EXPECT_FALSE(platform::set_service_status(0, status));
}

} // namespace
