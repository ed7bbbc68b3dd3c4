#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigSection.h"
#include "threads/CCritSect.h"

// An ini-style settings file ("[Section]" headers, "key=value" lines, ";"
// comments) held in memory as ordered sections of ordered parameters. Names are
// compared byte for byte; values are opaque bytes. Defaults come from one of the
// library's XML resources and are written out when the file does not exist yet.
class CConfig
{
public:
    // `file_name` is a bare name (null: none yet); `defaults_id` an XML resource id
    // or -1; `in_executable_folder` picks the executable's folder, else the
    // current directory.
    CConfig(const char* file_name, int defaults_id, bool in_executable_folder);
    virtual ~CConfig();
    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    // Keeps the name, empties the object and loads the file.
    bool Open(const char* file_name);
    // Merges the file into the object; false when it cannot be read.
    bool Load();
    // Replaces the file with the whole object; the old file stays whole on failure.
    bool Save();
    void LoadDefaults(int resource_id);
    void Clear();

    bool AddSection(const std::string& name);
    bool SetValue(const std::string& section, const std::string& key, const std::string& value);
    bool GetValue(const std::string& section, const std::string& key, std::string& out) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const char* def = nullptr) const;
    int32_t GetInt(const std::string& section, const std::string& key, int32_t def) const;

    // Lookups for callers that already hold the lock; they take none themselves.
    ConfigSection* FindSection(const std::string& name) const;
    ConfigParam* FindParam(const std::string& section, const std::string& key) const;
    bool HasParamValue(const std::string& section, const std::string& key,
                       const std::string& value) const;

    const std::string& GetFileName() const { return m_fileName; }
    const std::string& GetFolder() const { return m_folder; }
    // Folder, one separator and the file name.
    std::string GetFilePath() const;

    static constexpr char kCommentKey[] = ";";

protected:
    enum class LineKind
    {
        Rejected,
        Section,
        Param,
    };

    // Takes the next line from `text` at `pos`; false when nothing is left. A line
    // ends at LF (a CR right before it is dropped) or at the end of the text.
    static bool ReadLine(const std::string& text, size_t& pos, std::string& line);
    // Section header: `name` set. Parameter or comment: `key` and `value` set.
    static LineKind ParseLine(const std::string& line, std::string& name, std::string& key,
                              std::string& value);
    // Without the characters 9 to 13 and the blank at both ends.
    static std::string Trim(const std::string& text);

private:
    std::string FormatText() const;

    mutable CCritSect m_lock;
    std::vector<std::unique_ptr<ConfigSection>> m_sections;
    std::string m_fileName;
    std::string m_folder;
};
