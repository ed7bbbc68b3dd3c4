// The table of instances behind the exported handles: lookups by index, and
// Clear, which must not delete an instance while a call still holds it.

#include "exports/HandleTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
};

class Instance
{
public:
    Instance(Tracker& tracker, int id) : m_tracker(tracker), m_id(id) {}
    ~Instance() { ++m_tracker.deletions; }

    void Shutdown()
    {
        m_shutDown = true;
        ++m_tracker.shutdowns;
    }

    int Id() const { return m_id; }
    bool IsShutDown() const { return m_shutDown; }

private:
    Tracker& m_tracker;
    int m_id;
    std::atomic<bool> m_shutDown{false};
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
