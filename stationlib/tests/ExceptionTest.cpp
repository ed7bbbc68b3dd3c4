#include "CExceptionEx.h"
#include "CWin32Exception.h"
#include "StringHelpers.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ExceptionTest, TextsSurviveCopiesAndThrows)
{
    CExceptionEx original("first", "second");
    CExceptionEx copy(original);
    EXPECT_EQ(copy.GetText(), "first");
    EXPECT_EQ(copy.GetLocation(), "second");

    try {
        throw CWin32Exception("CThreadSock::Start() - _beginthreadex", EAGAIN);
    } catch (const CExceptionEx& e) {
        EXPECT_EQ(e.GetText(), "CThreadSock::Start() - _beginthreadex");
        EXPECT_EQ(e.GetLocation(), format_win32_error(EAGAIN));
        EXPECT_FALSE(e.GetLocation().empty());
    }

    CWin32Exception win32("op", ENOENT);
    CWin32Exception win32Copy(win32);
    EXPECT_EQ(win32Copy.GetText(), "op");
    EXPECT_EQ(win32Copy.GetErrorCode(), ENOENT);
    EXPECT_EQ(win32Copy.GetLocation(), win32.GetLocation());
    EXPECT_NE(win32.GetLocation(), CWin32Exception("op", EAGAIN).GetLocation());
}

} // namespace
