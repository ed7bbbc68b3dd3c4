#pragma once

#include "CFileLog.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// Opens the library's log on a file in a fresh temporary folder for one test
// and puts the log back as the library keeps it (closed, masks 0) afterwards.
class LogCapture
{
public:
    LogCapture()
    {
        char pattern[] = "/tmp/filelog-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        m_folder = pattern;
        m_path = m_folder + "/library.log";
        EXPECT_TRUE(g_fileLog.OpenForTests(m_path));
    }

    ~LogCapture()
    {
        g_fileLog.CloseForTests();
        for (int category = 0; category < kLogCategoryCount; ++category)
            set_log_category_mask_for_tests(category, 0);
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder);
    }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Contents() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_folder;
    std::string m_path;
};
