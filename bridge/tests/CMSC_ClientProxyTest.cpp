#include "station/CMSC_ClientProxy.h"

#include "FakeArdentisLibrary.h"
#include "station/CMSC_Client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(CMSC_ClientProxyTest, LoadBindsTheLibraryBesideTheExecutableAndUnloadReleasesIt)
{
    FakeArdentisLibrary library;
    library.state.info = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<infolist>\r\n</infolist>\r\n";
    {
        CMSC_ClientProxy proxy;
        EXPECT_EQ(proxy.Unload(), 0);
        EXPECT_TRUE(library.state.calls.empty());

        ASSERT_TRUE(proxy.Load("Ardentis.dll"));
        EXPECT_TRUE(proxy.IsLoaded());
        EXPECT_EQ(library.state.loads, 1);
        EXPECT_EQ(library.state.callNames(), (Names{"msc_Initialize", "msc_GetInfo"}));
        EXPECT_EQ(library.state.callback, &CMSC_ClientProxy::EventCallback);
        EXPECT_EQ(library.state.calls[1].number, 4096);
        EXPECT_EQ(proxy.GetInfoText(), library.state.info);

        // Loaded already: nothing more is done.
        EXPECT_TRUE(proxy.Load("Ardentis.dll"));
        EXPECT_EQ(library.state.calls.size(), 2u);
        EXPECT_EQ(library.state.loads, 1);

        library.state.calls.clear();
        EXPECT_NE(proxy.Unload(), 0);
        EXPECT_EQ(library.state.callNames(), Names{"msc_Finalize"});
        EXPECT_EQ(library.state.unloads, 1);
        EXPECT_FALSE(proxy.IsLoaded());
        EXPECT_EQ(proxy.Unload(), 0);
        EXPECT_EQ(library.state.calls.size(), 1u);

        ASSERT_TRUE(proxy.Load("Ardentis.dll"));
        EXPECT_EQ(library.state.loads, 2);
    }
    // Its destruction unloads: msc_Finalize, then the module goes.
    EXPECT_EQ(library.state.callNames().back(), "msc_Finalize");
    EXPECT_EQ(library.state.unloads, 2);
}

TEST(CMSC_ClientProxyTest, InfoTextIsCutToTheBufferOrLeftEmpty)
{
    FakeArdentisLibrary library;
    library.state.info = std::string(5000, 'i');
    {
        CMSC_ClientProxy proxy;
        ASSERT_TRUE(proxy.Load("Ardentis.dll"));
        EXPECT_EQ(proxy.GetInfoText(), std::string(4095, 'i'));
    }
    library.state.infoResult = MSC_ERROR;
    CMSC_ClientProxy proxy;
    EXPECT_TRUE(proxy.Load("Ardentis.dll"));
    EXPECT_TRUE(proxy.GetInfoText().empty());
}

TEST(CMSC_ClientProxyTest, MissingExportFinalizesAndUnloads)
{
    const struct {
        const char* variant;
        Names calls;
        const char* missing;
    } cases[] = {
        {KORVEL_FAKE_ARDENTIS_WITHOUT_MSC_GETINFO, {"msc_Finalize"}, "msc_GetInfo"},
        // Without msc_Finalize there is nothing to call before the release.
        {KORVEL_FAKE_ARDENTIS_WITHOUT_MSC_FINALIZE, {}, "msc_Finalize"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        FakeArdentisLibrary library(c.variant);
        CMSC_ClientProxy proxy;
        EXPECT_FALSE(proxy.Load("Ardentis.dll"));
        EXPECT_FALSE(proxy.IsLoaded());
        EXPECT_EQ(proxy.GetLoadFailure(),
                  std::string("no export ") + c.missing + " in " + (library.folder() / "libArdentis.so"));
        EXPECT_EQ(library.state.callNames(), c.calls);
        EXPECT_EQ(library.state.loads, 1);
        EXPECT_EQ(library.state.unloads, 1);

        // Nothing is left bound.
        EXPECT_EQ(proxy.CreateClient(), nullptr);
        CMSC_Client client(&proxy, 0);
        EXPECT_EQ(client.Open("localhost", 5000, "u", "p"), -1);
        EXPECT_EQ(client.Close(), -1);
        EXPECT_EQ(proxy.Unload(), 0);
        EXPECT_EQ(library.state.calls.size(), c.calls.size());
    }
}

TEST(CMSC_ClientProxyTest, AbsentLibraryFailsToLoad)
{
    FakeArdentisLibrary library;
    std::filesystem::remove(library.folder() / "libArdentis.so");
    CMSC_ClientProxy proxy;
    EXPECT_FALSE(proxy.Load("Ardentis.dll"));
    EXPECT_FALSE(proxy.IsLoaded());
    EXPECT_EQ(library.state.loads, 0);
}

TEST(CMSC_ClientProxyTest, CreateClientGivesTheLibrarysHandle)
{
    FakeArdentisLibrary library;
    CMSC_ClientProxy proxy;
    EXPECT_EQ(proxy.CreateClient(), nullptr); // not loaded
    EXPECT_TRUE(library.state.calls.empty());

    ASSERT_TRUE(proxy.Load("Ardentis.dll"));
    std::unique_ptr<CMSC_Client> first = proxy.CreateClient();
    std::unique_ptr<CMSC_Client> second = proxy.CreateClient();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->GetHandle(), 0);
    EXPECT_EQ(second->GetHandle(), 1);
    // The client's address is the instance's user value.
    EXPECT_EQ(library.state.instances, (std::vector<intptr_t>{reinterpret_cast<intptr_t>(first.get()),
                                                              reinterpret_cast<intptr_t>(second.get())}));

    library.state.createResult = MSC_ERROR;
    library.state.calls.clear();
    EXPECT_EQ(proxy.CreateClient(), nullptr);
    // The refused client is gone without closing a handle it never had.
    EXPECT_EQ(library.state.callNames(), Names{"msc_Create"});
}

TEST(CMSC_ClientProxyTest, ClientOutlivingItsProxyIsUnbound)
{
    FakeArdentisLibrary library;
    std::unique_ptr<CMSC_Client> client;
    {
        CMSC_ClientProxy proxy;
        ASSERT_TRUE(proxy.Load("Ardentis.dll"));
        client = proxy.CreateClient();
        ASSERT_NE(client, nullptr);
    }
    library.state.calls.clear();
    EXPECT_EQ(client->Close(), -1);
    EXPECT_EQ(client->Open("localhost", 5000, "u", "p"), -1);
    client.reset();
    EXPECT_TRUE(library.state.calls.empty());
}

// A client that answers notifications as a test tells it.
class NotifiedClient : public CMSC_Client
{
public:
    NotifiedClient(CMSC_ClientProxy* proxy, std::function<int(const std::vector<int64_t>&)> answer)
        : CMSC_Client(proxy), m_answer(std::move(answer))
    {
    }
    int OnNotify(int32_t code, const char* text, int32_t length, int32_t r1, int32_t r2, int32_t r3) override
    {
        return m_answer({code, reinterpret_cast<intptr_t>(text), length, r1, r2, r3});
    }

private:
    std::function<int(const std::vector<int64_t>&)> m_answer;
};

TEST(CMSC_ClientProxyTest, EventCallbackReachesOnlyLiveClients)
{
    FakeArdentisLibrary library;
    CMSC_ClientProxy proxy;
    ASSERT_TRUE(proxy.Load("Ardentis.dll"));
    const char document[] = "<objectlist/>";

    std::vector<int64_t> seen;
    NotifiedClient live(&proxy, [&](const std::vector<int64_t>& values) {
        seen = values;
        return 42;
    });
    NotifiedClient throwing(&proxy, [](const std::vector<int64_t>&) -> int { throw std::runtime_error("no"); });
    NotifiedClient throwingAnything(&proxy, [](const std::vector<int64_t>&) -> int { throw 5; });
    int deletedCalls = 0;
    auto deleted = std::make_unique<NotifiedClient>(&proxy, [&](const std::vector<int64_t>&) {
        ++deletedCalls;
        return 1;
    });
    const intptr_t deletedAddress = reinterpret_cast<intptr_t>(deleted.get());
    deleted.reset();
    int stranger = 0;

    // Through the callback the library was given.
    MscNotifyCallback callback = library.state.callback;
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback(reinterpret_cast<intptr_t>(&live), MSC_NOTIFY_OBJECT_CHANGED, document, 13, 0, 0, 0), 42);
    EXPECT_EQ(seen,
              (std::vector<int64_t>{MSC_NOTIFY_OBJECT_CHANGED, reinterpret_cast<intptr_t>(document), 13, 0, 0, 0}));
    EXPECT_EQ(callback(reinterpret_cast<intptr_t>(&live), MSC_NOTIFY_DISCONNECTED, nullptr, 0, 1, 2, 3), 42);
    EXPECT_EQ(seen, (std::vector<int64_t>{MSC_NOTIFY_DISCONNECTED, 0, 0, 1, 2, 3}));

    const struct {
        const char* what;
        intptr_t user;
    } silent[] = {
        {"null user value", 0},
        {"unknown client", reinterpret_cast<intptr_t>(&stranger)},
        {"deleted client", deletedAddress},
        {"OnNotify throws", reinterpret_cast<intptr_t>(&throwing)},
        {"OnNotify throws a non-exception", reinterpret_cast<intptr_t>(&throwingAnything)},
    };
    for (const auto& c : silent)
        EXPECT_EQ(callback(c.user, MSC_NOTIFY_CONNECTED, nullptr, 0, 0, 0, 0), 0) << c.what;
    EXPECT_EQ(deletedCalls, 0);

    // The class's own OnNotify does nothing and answers 0.
    std::unique_ptr<CMSC_Client> plain = proxy.CreateClient();
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(callback(reinterpret_cast<intptr_t>(plain.get()), MSC_NOTIFY_CONNECTED, nullptr, 0, 0, 0, 0), 0);
}

// Blocks in its notification until released; as every derived client, it stops
// notifications before its own part is destroyed.
class BlockingClient : public CMSC_Client
{
public:
    BlockingClient(CMSC_ClientProxy* proxy, std::promise<void>* entered, std::shared_future<void>* released)
        : CMSC_Client(proxy), m_entered(entered), m_released(released)
    {
    }
    ~BlockingClient() override { StopNotifications(); }
    int OnNotify(int32_t, const char*, int32_t, int32_t, int32_t, int32_t) override
    {
        m_entered->set_value();
        m_released->wait();
        return 7;
    }

private:
    std::promise<void>* m_entered;
    std::shared_future<void>* m_released;
};

TEST(CMSC_ClientProxyTest, DeletingAClientWaitsForItsNotificationInProgress)
{
    FakeArdentisLibrary library;
    CMSC_ClientProxy proxy;
    ASSERT_TRUE(proxy.Load("Ardentis.dll"));

    std::promise<void> entered;
    std::future<void> hasEntered = entered.get_future();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto client = std::make_unique<BlockingClient>(&proxy, &entered, &released);
    const intptr_t user = reinterpret_cast<intptr_t>(client.get());

    // The library's worker thread, in the middle of a notification.
    std::atomic<int> result{-1};
    std::thread worker([&] { result = library.state.callback(user, MSC_NOTIFY_OBJECT_ADDED, nullptr, 0, 0, 0, 0); });
    hasEntered.wait();

    std::atomic<bool> deleted{false};
    std::thread bridge([&] {
        client.reset();
        deleted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(deleted.load());
    release.set_value();
    worker.join();
    bridge.join();
    EXPECT_TRUE(deleted.load());
    EXPECT_EQ(result.load(), 7);
    // Later notifications for it are dropped.
    EXPECT_EQ(library.state.callback(user, MSC_NOTIFY_OBJECT_ADDED, nullptr, 0, 0, 0, 0), 0);
}

} // namespace
