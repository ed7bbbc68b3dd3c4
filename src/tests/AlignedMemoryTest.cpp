#include "utils/AlignedMemory.h"
#include "utils/PlatformStubs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(AlignedMemoryTest, BlocksAreAlignedAndWhollyWritable)
{
    for (size_t alignment = 1; alignment <= 4096; alignment *= 2) {
        for (size_t size : {0, 1, 15, 100, 4097}) {
            void* p = aligned_malloc(alignment, size);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u) << alignment << " " << size;
            std::memset(p, 0xA5, size);
            if (alignment == 1) { // right after the guard and the plain block's address
                EXPECT_EQ(static_cast<uintptr_t*>(p)[-1], reinterpret_cast<uintptr_t>(p) - 16);
            }
            aligned_free(p);
        }
    }
    aligned_free(nullptr);
    EXPECT_EQ(aligned_malloc(16, SIZE_MAX - 31), nullptr);
    EXPECT_EQ(aligned_malloc(size_t{1} << 63, SIZE_MAX / 2), nullptr);
}

TEST(AlignedMemoryTest, BadArgumentsAndPlatformStubsFailTheirChecks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(aligned_malloc(24, 8), "ASSERTION FAILED at .*: \\(alignment & \\(alignment - 1\\)\\) == 0\n");
    EXPECT_DEATH(aligned_malloc(0, 8), "ASSERTION FAILED at .*: alignment != 0\n");
    uintptr_t zeros[8] = {};
    EXPECT_DEATH(aligned_free(&zeros[4]),
                 ": \\*\\(uintptr_t\\*\\)\\(\\(char\\*\\)ptr - sizeof\\(uintptr_t\\) \\* 2\\) == 0xDEADBEEF\n");
    std::string a, b;
    EXPECT_DEATH(read_sysfs_file("/sys/x", a),
                 ": !\"Platform is not supported: Can use read_sysfs_file\\(\\) only on Linux\"\n");
    EXPECT_DEATH(get_model_and_serial_for_device("sda", a, b),
                 ": !\"Platform is not supported: Can use get_model_and_serial_for_device\\(\\) only on Linux\"\n");
}

} // namespace
