#include "vms/VmsServer.h"

#include "support/BridgeAssert.h"
#include "support/BridgeLog.h"
#include "support/ConnectionSettings.h"
#include "vms/ConnectionList.h"
#include "vms/OrvantaConnection.h"
#include "vms/UpdateFanOut.h"
#include "vms/VmsLimits.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <limits>
#include <thread>
#include <vector>

using boost::asio::ip::tcp;
using boost::system::error_code;

namespace {

// Pause before the next accept after a failed one, so a lasting failure (no
// descriptors left) does not spin the I/O thread.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

using WorkGuard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;

struct VmsServer
{
    // Every I/O service ever started. None is destroyed: handlers left queued
    // when one stopped still own connections, and the station worker may post
    // into a stopped one; both stay unrun until the process ends.
    std::vector<boost::asio::io_context*> io_services;
    boost::asio::io_context* io_service = nullptr;
    std::unique_ptr<WorkGuard> work;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<boost::asio::steady_timer> accept_retry;
    std::thread thread;
    uint16_t port = 0;
    // Accepted connections, oldest first, for closing the oldest one still
    // waiting for its login; entries that logged in or closed are dropped as
    // they are met. I/O thread only.
    std::deque<std::weak_ptr<OrvantaConnection>> awaiting_login;
    // Open connections allowed by the descriptor limit, less the reserve.
    size_t descriptor_budget = std::numeric_limits<size_t>::max();
};

// Never destroyed, for the same reason as the I/O services.
VmsServer& server()
{
    static VmsServer* const instance = new VmsServer;
    return *instance;
}

void run_io_service(boost::asio::io_context& io_service)
{
    // Handlers report failures themselves; anything that still escapes one is
    // logged and the service runs on rather than ending the process.
    for (;;) {
        try {
            io_service.run();
            return;
        } catch (const std::exception& e) {
            log_message(kLogError, "Orvanta server error: %s\n", e.what());
        }
    }
}

void log_failure(const char* what, const error_code& error)
{
    log_message(kLogError, "Orvanta server %s failed: %s\n", what, error.message().c_str());
}

size_t descriptor_budget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<size_t>::max();
    const size_t soft = static_cast<size_t>(limit.rlim_cur);
    return soft > kDescriptorReserve ? soft - kDescriptorReserve : 0;
}

// Closes the oldest connection still waiting for its login; false when none waits.
bool close_oldest_awaiting_login(const char* reason)
{
    auto& awaiting = server().awaiting_login;
    while (!awaiting.empty()) {
        const std::shared_ptr<OrvantaConnection> connection = awaiting.front().lock();
        awaiting.pop_front();
        if (connection && connection->AwaitingLogin()) {
            log_message(kLogInfo, "Orvanta client %s closed before its login: %s\n",
                        connection->PeerAddress().c_str(), reason);
            connection->Close();
            return true;
        }
    }
    return false;
}

// A new connection never takes the last descriptors, nor the place of one that
// has logged in: idle peers make room for it, oldest first.
void admit(const std::shared_ptr<OrvantaConnection>& connection)
{
    VmsServer& s = server();
    auto& awaiting = s.awaiting_login;
    awaiting.push_back(connection);
    while (!awaiting.empty() && !awaiting.front().lock())
        awaiting.pop_front();
    // Logged-in connections in the middle are dropped now and then, so the
    // list stays near the number that waits.
    if (awaiting.size() > 2 * kMaxConnectionsAwaitingLogin) {
        awaiting.erase(std::remove_if(awaiting.begin(), awaiting.end(),
                                      [](const std::weak_ptr<OrvantaConnection>& entry) {
                                          const auto c = entry.lock();
                                          return !c || !c->AwaitingLogin();
                                      }),
                       awaiting.end());
    }
    if (OrvantaConnection::AwaitingLoginCount() > kMaxConnectionsAwaitingLogin)
        close_oldest_awaiting_login("too many connections waiting for their login");
    if (OrvantaConnection::OpenCount() > s.descriptor_budget)
        close_oldest_awaiting_login("too few descriptors left");
}

} // namespace

bool start_vms_server()
{
    VmsServer& s = server();
    if (s.thread.joinable())
        return true;
    const uint16_t port = static_cast<uint16_t>(local_port);
    try {
        s.io_service = new boost::asio::io_context;
        s.io_services.push_back(s.io_service);
        s.work = std::make_unique<WorkGuard>(s.io_service->get_executor());
        s.acceptor = std::make_unique<tcp::acceptor>(*s.io_service);
        s.accept_retry = std::make_unique<boost::asio::steady_timer>(*s.io_service);
        s.descriptor_budget = descriptor_budget();

        const tcp::endpoint endpoint(tcp::v4(), port);
        error_code error;
        s.acceptor->open(endpoint.protocol(), error);
        if (!error)
            s.acceptor->set_option(tcp::acceptor::reuse_address(true), error);
        if (!error)
            s.acceptor->bind(endpoint, error);
        if (!error)
            s.acceptor->listen(boost::asio::socket_base::max_listen_connections, error);
        if (!error)
            s.port = s.acceptor->local_endpoint(error).port();
        if (error)
            throw boost::system::system_error(error);

        // The first accept is started before the thread, so the acceptor is
        // never touched by two threads.
        start_accept();
        g_update_fan_out.Open(*s.io_service, &OrvantaConnection::DeliverUpdates);
        boost::asio::io_context* const io_service = s.io_service;
        s.thread = std::thread([io_service]() { run_io_service(*io_service); });
        return true;
    } catch (const std::exception& e) {
        const auto* system_error = dynamic_cast<const boost::system::system_error*>(&e);
        log_message(kLogError, "unable to listen on local port %u (%s)\n", static_cast<unsigned>(port),
                    system_error != nullptr ? system_error->code().message().c_str() : e.what());
        s.accept_retry.reset();
        s.acceptor.reset();
        s.work.reset();
        s.port = 0;
        return false;
    }
}

void start_accept()
{
    VmsServer& s = server();
    g_connection_list.PruneExpired();
    auto connection = std::make_shared<OrvantaConnection>(*s.io_service);
    s.acceptor->async_accept(connection->socket(),
                             [connection](const error_code& error) { handle_accept(connection, error); });
    g_connection_list.Append(connection);
}

void handle_accept(const std::shared_ptr<OrvantaConnection>& connection, const error_code& error)
{
    if (!error) {
        // Updates are small frames written one by one: without this each one
        // may wait for the client's delayed acknowledgement of the one before.
        error_code ignored;
        connection->socket().set_option(tcp::no_delay(true), ignored);
        OrvantaConnection::Start(connection);
        admit(connection);
        start_accept();
        return;
    }
    // Cancelled: the server is stopping.
    if (error == boost::asio::error::operation_aborted)
        return;
    // Out of descriptors all the same (others took them): an idle peer gives
    // its own back, and the accept is tried again after the pause.
    if (error == boost::asio::error::no_descriptors || error == boost::system::errc::too_many_files_open_in_system)
        close_oldest_awaiting_login("no descriptor left");
    VmsServer& s = server();
    s.accept_retry->expires_after(kAcceptRetryDelay);
    s.accept_retry->async_wait([](const error_code& wait_error) {
        if (!wait_error)
            start_accept();
    });
}

void stop_vms_server()
{
    VmsServer& s = server();
    if (!s.thread.joinable())
        return;

    // The I/O thread ends first, so nothing else touches the acceptor or the
    // connections while they are closed here.
    g_update_fan_out.Shut();
    s.io_service->stop();
    s.thread.join();

    error_code error;
    s.accept_retry->cancel();
    s.acceptor->cancel(error);
    if (error)
        log_failure("cancel", error);
    s.acceptor->close(error);
    if (error)
        log_failure("close", error);
    for (const auto& connection : g_connection_list.TakeAll())
        connection->Close();
    s.awaiting_login.clear();

    s.work.reset();
    s.thread = std::thread();
    s.accept_retry.reset();
    s.acceptor.reset();
    s.port = 0;
}

uint16_t vms_server_port()
{
    return server().port;
}

void broadcast_update(const KorvelElementPtr& changed_element, uint8_t level)
{
    BRIDGE_ASSERT(changed_element);
    log_message(kLogVerbose, "send update %i(%i) level %d, group %d, object %d, sensor %d\n",
                changed_element->StateLevel, changed_element->State, level, changed_element->Group,
                changed_element->ID, changed_element->Number);
    OrvantaConnection::PostElementUpdate(level, changed_element);
}
