#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ModulePath.h"

// A fresh temporary folder that stands in for the executable's folder for the
// life of one test.
class ConfigTestFolder
{
public:
    ConfigTestFolder()
    {
        char pattern[] = "/tmp/config-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        m_folder = pattern;
        platform::set_executable_path_override(m_folder + "/host");
    }

    ~ConfigTestFolder()
    {
        platform::set_executable_path_override(std::string());
        if (!m_folder.empty())
            std::filesystem::remove_all(m_folder);
    }

    ConfigTestFolder(const ConfigTestFolder&) = delete;
    ConfigTestFolder& operator=(const ConfigTestFolder&) = delete;

    const std::string& Folder() const { return m_folder; }
    std::string Path(const std::string& name) const { return m_folder + "/" + name; }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
        ASSERT_TRUE(out.good());
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
        for (const auto& entry : std::filesystem::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string m_folder;
};
