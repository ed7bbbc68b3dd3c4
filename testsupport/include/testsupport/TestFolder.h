#pragma once

#include "testsupport/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A fresh temporary folder for one test, with its files read and written by name.
class TestFolder : public testsupport::TempFolder
{
public:
    const std::string& Folder() const { return path(); }
    std::string Path(const std::string& name) const { return *this / name; }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
        EXPECT_TRUE(out.good()) << name;
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Names of everything in the folder, sorted.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};
