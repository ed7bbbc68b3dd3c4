#pragma once

#include "testsupport/TestFolder.h"
#include "threads/CFileLog.h"

#include <gtest/gtest.h>

#include <string>

// Opens the library's log on a file in a fresh temporary folder for one test
// and puts the log back as the library keeps it (closed, masks 0) afterwards.
class LogCapture
{
public:
    LogCapture() { EXPECT_TRUE(g_fileLog.OpenForTests(m_folder.Path(kFile))); }

    ~LogCapture()
    {
        g_fileLog.CloseForTests();
        for (int category = 0; category < kLogCategoryCount; ++category)
            set_log_category_mask_for_tests(category, 0);
    }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Contents() const { return m_folder.Read(kFile); }

private:
    static constexpr const char* kFile = "library.log";
    TestFolder m_folder;
};
