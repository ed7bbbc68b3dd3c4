#include "dictionaries/CMS_ConstTemplates.h"

#include "base/FileHelpers.h"
#include "base/InputBounds.h"
#include "base/ModuleInfo.h"
#include "base/StringHelpers.h"
#include "base/XmlHelpers.h"

#include "zip/CZipArchive.h"
#include "zip/CZipFileHeader.h"
#include "zip/CZipPathComponent.h"

#include <sys/stat.h>

#include <mutex>

namespace {

constexpr int32_t kObjectTemplate = 1;
constexpr int32_t kScheduleTemplate = 2;
constexpr int kObjectSkeleton = 231;
constexpr int kScheduleSkeleton = 232;
constexpr char kPackageEntry[] = "main.xml";
constexpr int kExtractBufferSize = 65536;
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>";
constexpr char kLineEnd[] = "\r\n";

// Every import of the process extracts into the same "main.xml" beside the
// library, so two instances starting at once must not import together.
std::mutex& import_lock()
{
    static std::mutex lock;
    return lock;
}

// The previous import's copy may be read-only or a link: remove it, so the
// extraction always writes a fresh file of its own. A folder is left alone.
void remove_stale_copy(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        file_remove(path);
}

// Only blanks, tabs and line ends from `from` on.
bool blank_from(const std::string& text, size_t from)
{
    return text.find_first_not_of(" \t\r\n", from) == std::string::npos;
}

} // namespace

void CMS_ConstTemplates::Load()
{
    Init(kSign, kSubfolder, nullptr, true);
    std::lock_guard<std::mutex> lock(import_lock());
    ImportPackages(kObjectTemplate);
    ImportPackages(kScheduleTemplate);
}

void CMS_ConstTemplates::ImportPackages(int32_t kind)
{
    const char* mask = nullptr;
    if (kind == kObjectTemplate)
        mask = "*.ot";
    else if (kind == kScheduleTemplate)
        mask = "*.st";
    else
        return;

    std::vector<std::string> packages;
    list_files(packages, library_folder(), mask);
    for (const std::string& package : packages) {
        // Folders, FIFOs and devices matching the mask are no packages.
        if (!is_regular_file(package))
            continue;
        // A failure ends only this package's import; it stays for the next start.
        try {
            const std::string body = ReadArchive(package);
            if (!body.empty() && ParseTemplate(kind, file_title(package), body))
                file_remove(package);
        } catch (...) {
        }
    }
}

std::string CMS_ConstTemplates::ReadArchive(const std::string& path)
{
    const std::string folder = CZipPathComponent(path).GetFilePath();
    CZipArchive archive;
    try {
        archive.Open(path, CZipArchive::zipOpen, 0);
    } catch (...) {
        return std::string();
    }

    const std::string target = archive.GetExtractPath(kPackageEntry, folder, true);
    bool extracted = false;
    bool raised = false;
    try {
        CZipFileHeader header;
        for (int index = 0; index < archive.GetCount(); ++index) {
            if (!archive.GetFileInfo(header, index) || header.GetFileName() != kPackageEntry)
                continue;
            // A folder entry of that name is no body; extracted, it would become a
            // folder beside the library that blocks every later import.
            if (header.IsDirectory())
                continue;
            // Too large a body is not extracted at all; the package stays. The
            // reader never writes more than the entry declares.
            if (header.m_uUncomprSize > kMaxPackageEntrySize)
                break;
            remove_stale_copy(target);
            extracted = archive.ExtractFile(index, folder, true, std::string(), kExtractBufferSize);
            break;
        }
    } catch (...) {
        raised = true;
        extracted = false;
    }
    try {
        // After a failed extraction the entry may still be open: end it unchecked.
        archive.Close(raised, false);
    } catch (...) {
    }
    return extracted ? file_read_all(target) : std::string();
}

bool CMS_ConstTemplates::ParseTemplate(int32_t kind, const std::string& title, const std::string& body)
{
    if (body.empty())
        return false;
    std::string text = strip_prefix(body, kDeclaration);
    text = strip_prefix(text, kLineEnd);
    // The line end closing the body and the blank tail after it go; a last line
    // without its own line end stays.
    const size_t last = text.rfind(kLineEnd);
    if (last != std::string::npos && blank_from(text, last))
        text.erase(last);

    TiXmlDocument document;
    if (!xml_parse_resource(document, kind == kScheduleTemplate ? kScheduleSkeleton : kObjectSkeleton))
        return false;
    if (!xml_set_inner_xml_at(&document, "Root.Template", text)
        || !xml_set_inner_xml_at(&document, "Root.General.Name", title))
        return false;
    return xml_save_file(document, GetKindFolder(kind) + title + ".xml");
}

std::string CMS_ConstTemplates::GetKindFolder(int32_t kind) const
{
    const std::string folder = GetFolder();
    if (kind == kObjectTemplate)
        return folder + "Objects" + kPathSeparator;
    if (kind == kScheduleTemplate)
        return folder + "Schedules" + kPathSeparator;
    return folder;
}
