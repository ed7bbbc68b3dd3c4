#include "platform/CriticalSection.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CriticalSectionTest, OwnerEntersAgainOthersWaitUntilEveryLeave)
{
    platform::CriticalSection section;
    section.Enter();
    section.Enter();
    EXPECT_TRUE(section.TryEnter());

    auto otherCanEnter = [&] {
        bool entered = false;
        std::thread other([&] {
            entered = section.TryEnter();
            if (entered)
                section.Leave();
        });
        other.join();
        return entered;
    };
    EXPECT_FALSE(otherCanEnter());
    section.Leave();
    section.Leave();
    EXPECT_FALSE(otherCanEnter());
    section.Leave();
    EXPECT_TRUE(otherCanEnter());
}

} // namespace
