#include "utils/LogFunctions.h"

#include <gmock/gmock.h>

namespace {

TEST(LogWarningTest, PrintsTimeStampPrefixAndMessageEndingItsLineEvenWhenCut)
{
    testing::internal::CaptureStderr();
    log_warning("disk %s is %d%% full\n", "sda", 93);
    log_warning("%s", std::string(70000, 'x').c_str());
    const std::string output = testing::internal::GetCapturedStderr();
    const size_t first_line = output.find('\n') + 1;
    EXPECT_THAT(output.substr(0, first_line),
                testing::MatchesRegex("[0-9]{8} [0-9]{2}:[0-9]{2}:[0-9]{2} WARNING: disk sda is 93% full\n"));
    EXPECT_EQ(output.size() - first_line, kLogMessageBufferSize - 1);
    EXPECT_EQ(output.substr(output.size() - 2), "x\n");
}

} // namespace
