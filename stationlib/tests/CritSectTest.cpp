#include "CCritSect.h"
#include "CCritSectLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(CritSectTest, OwnerReentersOthersWaitForTheLastLeave)
{
    CCritSect section;
    std::atomic<bool> otherEntered{false};
    std::thread other;
    {
        CCritSectLock outer(section);
        {
            CCritSectLock inner(section); // the owner may enter again
        }
        other = std::thread([&] {
            CCritSectLock lock(section);
            otherEntered = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(otherEntered.load());
    }
    other.join();
    EXPECT_TRUE(otherEntered.load());
}

} // namespace
