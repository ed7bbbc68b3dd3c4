#include "utils/CodePageStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePageStringsTest, SystemPageIsWindows1251AndUtf16NarrowsToUtf8)
{
    EXPECT_EQ(ansi_to_unicode("\xD0\xF3\xF1\xF1\xEA\xE8\xE9"), "Русский");
    EXPECT_EQ(unicode_to_ansi("Русский a中b"), "\xD0\xF3\xF1\xF1\xEA\xE8\xE9 a?b");
    std::string every_byte;
    for (int c = 1; c < 256; ++c)
        every_byte += static_cast<char>(c);
    EXPECT_EQ(unicode_to_ansi(ansi_to_unicode(every_byte.c_str()).c_str()), every_byte);

    EXPECT_EQ(to_narrow(u"Русский"), "Русский");
    const char16_t lone_surrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(to_narrow(lone_surrogate), "a\xEF\xBF\xBD" "b");
}

} // namespace
