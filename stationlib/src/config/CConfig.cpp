#include "config/CConfig.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tinyxml.h>

#include "base/FileHelpers.h"
#include "base/InputBounds.h"
#include "base/StringHelpers.h"
#include "base/XmlHelpers.h"
#include "base/XmlResources.h"
#include "platform/ModulePath.h"
#include "platform/RegularFile.h"
#include "threads/CCritSectLock.h"
#include "threads/CFileLog.h"

namespace {

const char kLineEnd[] = "\r\n";
const char kSectionsElement[] = "sections";
const char kSectionElement[] = "section";
const char kParamElement[] = "param";
const char kNameAttribute[] = "Name";
const char kValueAttribute[] = "Value";
// The file log's category and module of the library's system messages.
constexpr int32_t kLogCategory = 6;
constexpr char kLogModule[] = "System";

std::string current_directory()
{
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof(buffer)) == nullptr)
        return std::string();
    return buffer;
}

// The bits a newly created file gets: 0666 less the process's umask, read where the
// kernel reports it (setting and restoring the umask would race other threads).
mode_t new_file_mode()
{
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof(line), status) != nullptr) {
            unsigned int value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// Writes `text` into a fresh file beside `path` and renames it over `path`, so
// that readers and other instances see either the old file or the new one whole.
// On any failure the temporary goes and `path` stays as it was. A symbolic link
// stays too: what is replaced is the file it leads to.
bool replace_file(const std::string& link, const std::string& text)
{
    const std::string path = link_target(link);
    if (path.empty())
        return false;
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    const mode_t mode = exists ? (old.st_mode & 07777) : new_file_mode();
    bool ok = platform::write_all(fd, text) && ::fsync(fd) == 0 && ::fchmod(fd, mode) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

void log_oversized_save(const std::string& path, size_t size)
{
    log_printf(LOG_LEVEL_ERROR, kLogCategory, kLogModule, 0,
               ansi_text("Файл настроек %s не записан: %zu байт, больше предела чтения %llu").c_str(), path.c_str(), size,
               static_cast<unsigned long long>(kMaxSettingsFileSize));
}

} // namespace

CConfig::CConfig(const char* file_name, int defaults_id, bool in_executable_folder)
    : m_fileName(file_name ? file_name : "")
    , m_folder(in_executable_folder ? platform::executable_folder() : current_directory())
{
    LoadDefaults(defaults_id);
}

CConfig::~CConfig()
{
    Clear();
}

std::string CConfig::GetFilePath() const
{
    if (m_folder.empty())
        return m_fileName;
    if (m_folder.back() == kPathSeparator)
        return m_folder + m_fileName;
    return m_folder + kPathSeparator + m_fileName;
}

bool CConfig::Open(const char* file_name)
{
    if (file_name == nullptr)
        return false;
    m_fileName = file_name;
    Clear();
    return Load();
}

bool CConfig::Load()
{
    std::string text;
    if (!platform::read_regular_file(GetFilePath(), kMaxSettingsFileSize, text))
        return false;

    std::string current;
    std::string line, name, key, value;
    size_t pos = 0;
    while (ReadLine(text, pos, line)) {
        switch (ParseLine(line, name, key, value)) {
        case LineKind::Section:
            current = AddSection(name) ? name : std::string();
            break;
        case LineKind::Param:
            // Lines before the first header belong to no section.
            if (!current.empty())
                SetValue(current, key, value);
            break;
        case LineKind::Rejected:
            break;
        }
    }
    return true;
}

std::string CConfig::FormatText() const
{
    std::string text;
    for (const auto& section : m_sections) {
        text += '[';
        text += section->name;
        text += ']';
        text += kLineEnd;
        for (const auto& param : section->params) {
            text += param->key;
            if (param->key != kCommentKey)
                text += '=';
            text += param->value;
            text += kLineEnd;
        }
        text += kLineEnd;
    }
    return text;
}

bool CConfig::Save()
{
    if (m_fileName.empty())
        return false;
    // Held across the replace too, so that two saves of one object land in order.
    CCritSectLock lock(m_lock);
    const std::string text = FormatText();
    // A file the library would refuse to read is never written: the one in place
    // stays, and is read as before. Rewritten with CR LF, a file of LF lines near
    // the bound can come out far above it.
    if (text.size() > kMaxSettingsFileSize) {
        log_oversized_save(GetFilePath(), text.size());
        return false;
    }
    return replace_file(GetFilePath(), text);
}

void CConfig::LoadDefaults(int resource_id)
{
    if (resource_id != -1) {
        std::string xml;
        if (!load_xml_resource(resource_id, xml))
            return;
        TiXmlDocument document;
        xml_parse_text(document, xml);
        const TiXmlNode* root = document.FirstChild(kSectionsElement);
        const TiXmlElement* sections = root ? root->ToElement() : nullptr;
        if (sections == nullptr)
            return;
        for (const TiXmlElement* section = sections->FirstChildElement(kSectionElement); section;
             section = section->NextSiblingElement(kSectionElement)) {
            const char* section_name = section->Attribute(kNameAttribute);
            if (section_name == nullptr || section->FirstChildElement(kParamElement) == nullptr)
                continue;
            AddSection(section_name);
            for (const TiXmlElement* param = section->FirstChildElement(kParamElement); param;
                 param = param->NextSiblingElement(kParamElement)) {
                const char* key = param->Attribute(kNameAttribute);
                const char* value = param->Attribute(kValueAttribute);
                if (key != nullptr && value != nullptr)
                    SetValue(section_name, key, value);
            }
        }
    }
    if (!path_exists(GetFilePath()))
        Save();
}

void CConfig::Clear()
{
    CCritSectLock lock(m_lock);
    m_sections.clear();
}

bool CConfig::AddSection(const std::string& name)
{
    if (name.empty())
        return false;
    CCritSectLock lock(m_lock);
    if (FindSection(name) == nullptr) {
        auto section = std::make_unique<ConfigSection>();
        section->name = name;
        m_sections.push_back(std::move(section));
    }
    return true;
}

bool CConfig::SetValue(const std::string& section, const std::string& key, const std::string& value)
{
    if (section.empty() || key.empty())
        return false;
    CCritSectLock lock(m_lock);
    if (key != kCommentKey) {
        if (ConfigParam* param = FindParam(section, key)) {
            param->value = value;
            return true;
        }
    } else if (HasParamValue(section, key, value)) {
        return true;
    }

    ConfigSection* target = FindSection(section);
    if (target == nullptr) {
        auto added = std::make_unique<ConfigSection>();
        added->name = section;
        target = added.get();
        m_sections.push_back(std::move(added));
    }
    auto param = std::make_unique<ConfigParam>();
    param->key = key;
    param->value = value;
    target->params.push_back(std::move(param));
    return true;
}

bool CConfig::GetValue(const std::string& section, const std::string& key, std::string& out) const
{
    if (key.empty())
        return false;
    CCritSectLock lock(m_lock);
    const ConfigParam* param = FindParam(section, key);
    if (param == nullptr)
        return false;
    out = param->value;
    return true;
}

std::string CConfig::GetString(const std::string& section, const std::string& key, const char* def) const
{
    std::string value;
    if (GetValue(section, key, value))
        return value;
    return def ? def : "";
}

int32_t CConfig::GetInt(const std::string& section, const std::string& key, int32_t def) const
{
    std::string value;
    if (GetValue(section, key, value))
        return crt_atoi(value.c_str());
    return def;
}

ConfigSection* CConfig::FindSection(const std::string& name) const
{
    for (const auto& section : m_sections) {
        if (section->name == name)
            return section.get();
    }
    return nullptr;
}

ConfigParam* CConfig::FindParam(const std::string& section, const std::string& key) const
{
    const ConfigSection* found = FindSection(section);
    if (found == nullptr)
        return nullptr;
    for (const auto& param : found->params) {
        if (param->key == key)
            return param.get();
    }
    return nullptr;
}

bool CConfig::HasParamValue(const std::string& section, const std::string& key,
                            const std::string& value) const
{
    const ConfigSection* found = FindSection(section);
    if (found == nullptr)
        return false;
    for (const auto& param : found->params) {
        if (param->key == key && param->value == value)
            return true;
    }
    return false;
}

bool CConfig::ReadLine(const std::string& text, size_t& pos, std::string& line)
{
    if (pos >= text.size())
        return false;
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
        line.assign(text, pos, std::string::npos);
        pos = text.size();
        return true;
    }
    size_t length = end - pos;
    if (length > 0 && text[end - 1] == '\r')
        --length;
    line.assign(text, pos, length);
    pos = end + 1;
    return true;
}

CConfig::LineKind CConfig::ParseLine(const std::string& line, std::string& name, std::string& key,
                                     std::string& value)
{
    const std::string trimmed = Trim(line);
    if (trimmed.empty())
        return LineKind::Rejected;
    if (trimmed[0] == kCommentKey[0]) {
        key = kCommentKey;
        value = trimmed.substr(1);
        return LineKind::Param;
    }
    if (trimmed[0] == '[') {
        if (trimmed.size() < 2 || trimmed.back() != ']')
            return LineKind::Rejected;
        name = Trim(trimmed.substr(1, trimmed.size() - 2));
        return name.empty() ? LineKind::Rejected : LineKind::Section;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos) {
        key = trimmed;
        value.clear();
        return LineKind::Param;
    }
    key = Trim(trimmed.substr(0, equals));
    if (key.empty())
        return LineKind::Rejected;
    value = Trim(trimmed.substr(equals + 1));
    return LineKind::Param;
}

std::string CConfig::Trim(const std::string& text)
{
    return trim_space(text);
}
