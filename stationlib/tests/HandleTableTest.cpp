// The table of instances behind the exported handles: lookups by index, and
// Clear, which must not delete an instance while a call still holds it, nor
// under its own thread.

#include "exports/HandleTable.h"
#include "testsupport/WaitUntil.h"
#include "threads/CManualResetEventSock.h"
#include "threads/CThreadSock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

// What happened to the stand-in instances, shared with the test.
struct Tracker
{
    std::atomic<int> shutdowns{0};
    std::atomic<int> deletions{0};
    std::atomic<bool> deletedOnOwnThread{false};
};

// An instance whose thread, once started, runs `work` (a host's callback) and
// then waits for its stop event.
class Instance : public CThreadSock
{
public:
    Instance(Tracker& tracker, int id) : CThreadSock("Instance"), m_tracker(tracker), m_id(id) {}
    ~Instance() override
    {
        const bool own = IsOwnThread() || m_runner == std::this_thread::get_id();
        Stop(0);
        m_tracker.deletedOnOwnThread = own;
        ++m_tracker.deletions;
    }

    void Shutdown()
    {
        m_shutDown = true;
        ++m_tracker.shutdowns;
        SignalStop();
    }

    int Id() const { return m_id; }
    bool IsShutDown() const { return m_shutDown; }

    std::function<void()> work;

protected:
    uint32_t Run() override
    {
        m_runner = std::this_thread::get_id();
        if (work)
            work();
        GetStopEvent().Wait(platform::kInfinite);
        return 0;
    }

private:
    Tracker& m_tracker;
    int m_id;
    std::atomic<bool> m_shutDown{false};
    std::thread::id m_runner;
};

using Table = HandleTable<Instance>;

} // namespace

TEST(HandleTableTest, HandlesAreIndexesAndOnlyThoseInRangeResolve)
{
    Tracker tracker;
    Table table;
    EXPECT_EQ(table.Add(nullptr), -1);
    EXPECT_EQ(table.Add(std::make_unique<Instance>(tracker, 10)), 0);
    EXPECT_EQ(table.Add(std::make_unique<Instance>(tracker, 11)), 1);
    EXPECT_EQ(table.Size(), 2u);

    struct Case
    {
        int32_t handle;
        int expectedId;  // -1: no instance
    };
    for (const Case& c : {Case{0, 10}, Case{1, 11}, Case{-1, -1}, Case{2, -1}, Case{INT32_MIN, -1}}) {
        SCOPED_TRACE(c.handle);
        Table::Hold hold = table.Acquire(c.handle);
        if (c.expectedId < 0) {
            EXPECT_FALSE(hold);
            EXPECT_EQ(hold.get(), nullptr);
        } else {
            ASSERT_TRUE(hold);
            EXPECT_EQ(hold->Id(), c.expectedId);
        }
    }
}

TEST(HandleTableTest, ClearShutsDownDeletesAndEndsEveryHandle)
{
    Tracker tracker;
    Table table;
    table.Add(std::make_unique<Instance>(tracker, 1));
    table.Add(std::make_unique<Instance>(tracker, 2));

    table.Clear();
    EXPECT_EQ(tracker.shutdowns, 2);
    EXPECT_EQ(tracker.deletions, 2);
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_FALSE(table.Acquire(0));
    EXPECT_FALSE(table.Acquire(1));

    // The table starts again from handle 0.
    EXPECT_EQ(table.Add(std::make_unique<Instance>(tracker, 3)), 0);
    table.Clear();
    EXPECT_EQ(tracker.deletions, 3);
}

TEST(HandleTableTest, ClearWaitsUntilNoCallHoldsTheInstance)
{
    Tracker tracker;
    Table table;
    table.Add(std::make_unique<Instance>(tracker, 1));

    Table::Hold first = table.Acquire(0);
    Table::Hold second = table.Acquire(0);
    ASSERT_TRUE(first);
    Instance* instance = first.get();

    auto clearing = std::async(std::launch::async, [&] { table.Clear(); });
    // The instance is told to shut down and is gone from the table at once ...
    while (!instance->IsShutDown())
        std::this_thread::yield();
    EXPECT_FALSE(table.Acquire(0));
    // ... but stays alive while any call holds it.
    EXPECT_EQ(clearing.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(tracker.deletions, 0);
    EXPECT_EQ(first->Id(), 1);

    first = Table::Hold();
    EXPECT_EQ(clearing.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(tracker.deletions, 0);

    // A moved hold still counts once.
    Table::Hold moved(std::move(second));
    EXPECT_FALSE(second);
    EXPECT_EQ(moved->Id(), 1);
    moved = Table::Hold();

    clearing.get();
    EXPECT_EQ(tracker.deletions, 1);
}

TEST(HandleTableTest, CallsRacingWithClearNeverSeeADeletedInstance)
{
    Tracker tracker;
    Table table;
    for (int i = 0; i < 4; ++i)
        table.Add(std::make_unique<Instance>(tracker, i));

    std::atomic<bool> go{false};
    std::vector<std::thread> callers;
    std::atomic<int> seen{0};
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            for (;;) {
                Table::Hold hold = table.Acquire(t);
                if (!hold)
                    return;
                // Under AddressSanitizer a deleted instance would be reported here.
                if (hold->Id() == t)
                    ++seen;
            }
        });
    }
    go = true;
    while (seen.load() < 100)
        std::this_thread::yield();
    table.Clear();
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(tracker.deletions, 4);
    EXPECT_EQ(tracker.shutdowns, 4);
}

// Cleared from its own thread's callback, an instance is set aside, not
// deleted under it, and then deleted once by whichever comes first.
TEST(HandleTableTest, AnInstanceClearedFromItsCallbackIsDeletedOnceAfterIt)
{
    const struct
    {
        const char* name;
        std::function<void(std::unique_ptr<Table>&)> after;  // while the callback still runs
        bool deletedOnOwnThread;
    } cases[] = {
        {"its thread's end", [](std::unique_ptr<Table>&) {}, true},
        {"a later Clear", [](std::unique_ptr<Table>& table) { table->Clear(); }, false},
        {"the table's end", [](std::unique_ptr<Table>& table) { table.reset(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Tracker tracker;
        auto table = std::make_unique<Table>();
        auto owned = std::make_unique<Instance>(tracker, 1);
        Instance* instance = owned.get();
        table->Add(std::move(owned));
        table->Add(std::make_unique<Instance>(tracker, 2));
        CManualResetEventSock callbackEnds(false);
        std::atomic<bool> cleared{false};
        instance->work = [&] {
            table->Clear();
            cleared = true;
            callbackEnds.Wait(platform::kInfinite);
        };
        instance->Start();
        ASSERT_TRUE(wait_until([&] { return cleared.load(); }));
        EXPECT_EQ(tracker.deletions, 1);
        EXPECT_TRUE(instance->IsShutDown());

        auto after = std::async(std::launch::async, [&] { c.after(table); });
        if (!c.deletedOnOwnThread) {
            EXPECT_EQ(after.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
        }
        callbackEnds.Set();
        after.get();
        EXPECT_TRUE(wait_until([&] { return tracker.deletions == 2; }));
        table.reset();
        EXPECT_EQ(tracker.deletions, 2);
        EXPECT_EQ(tracker.deletedOnOwnThread, c.deletedOnOwnThread);
    }
}
