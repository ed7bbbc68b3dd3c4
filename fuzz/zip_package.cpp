// Template packages: the import of a package beside the library (open, find
// "main.xml", extract it beside the package, save the template), and every entry
// of the archive opened, listed and extracted with its full path into a folder of
// its own. Checks that nothing is ever written outside the package's folder and
// the library's templates folder.
//
// Input: the package's bytes.

#include "FuzzSupport.h"

#include "dictionaries/CMS_ConstTemplates.h"

#include "platform/ModulePath.h"
#include "zip/CZipArchive.h"
#include "zip/CZipException.h"
#include "zip/CZipFileHeader.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Harness
{
    fuzzsupport::Sandbox sandbox{"zip"};
    const fs::path library = sandbox / "library";
    const fs::path packages = sandbox / "packages";
    const fs::path extracted = sandbox / "packages/extracted";
    CMS_ConstTemplates templates;

    Harness()
    {
        platform::set_executable_path_override(sandbox / "host");
        platform::set_module_path_override((library / "libArdentis.so").string());
        fs::create_directories(library);
        fs::create_directories(packages);
        templates.Init(CMS_ConstTemplates::kSign, CMS_ConstTemplates::kSubfolder, nullptr, true);
    }
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds a template package to the import and to the ZIP reader.")

namespace {

bool is_inside(const fs::path& path, const fs::path& folder)
{
    const fs::path relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

void extract_everything(const std::string& package, uint32_t bufferSize)
{
    CZipArchive archive;
    try {
        archive.Open(package, CZipArchive::zipOpen, 0);
    } catch (const CZipException&) {
        return;
    }
    const std::string folder = harness->extracted.string();
    bool raised = false;
    CZipFileHeader header;
    for (int index = 0; index < archive.GetCount(); ++index) {
        if (!archive.GetFileInfo(header, index))
            continue;
        header.GetTime();
        // A target outside the folder (anywhere on the system) must not appear.
        const fs::path target = archive.GetExtractPath(header.GetFileName(), folder, true);
        std::error_code ignored;
        const bool outside = !is_inside(target, harness->extracted) && !fs::exists(target, ignored);
        try {
            archive.ExtractFile(index, folder, true, std::string(), bufferSize);
        } catch (const CZipException&) {
            // The entry may be left open; end it unchecked, as the import does.
            raised = true;
            archive.CloseFile(std::string(), true);
        }
        if (outside && fs::exists(target, ignored))
            std::fprintf(stderr, "extracted outside the folder: %s\n", target.c_str());
        FUZZ_CHECK(!outside || !fs::exists(target, ignored), "an entry was extracted outside the folder");
    }
    try {
        archive.Close(raised, false);
    } catch (const CZipException&) {
    }
}

// Every file and folder the input made must lie in one of the two places; the
// walk ends each folder it enters readable again, so it can be emptied.
void check_and_clean()
{
    const fs::path& sandbox = harness->sandbox.Path();
    const fs::path templatesFolder = harness->library / "Xml";
    for (auto entry = fs::recursive_directory_iterator(sandbox); entry != fs::recursive_directory_iterator();
         ++entry) {
        const fs::path path = entry->path();
        const bool allowed = path == harness->library || path == harness->packages
            || is_inside(path, harness->packages) || path == templatesFolder || is_inside(path, templatesFolder)
            || path == harness->library / "host" || path == sandbox / "host";
        if (!allowed)
            std::fprintf(stderr, "written outside the package's folder: %s\n", path.c_str());
        FUZZ_CHECK(allowed, "an archive wrote outside the package's folder");
        if (entry->is_directory() && !entry->is_symlink())
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    }
    std::error_code ignored;
    fs::remove_all(harness->packages, ignored);
    fs::create_directories(harness->packages);
    for (const char* kind : {"Objects", "Schedules"})
        for (const auto& file : fs::directory_iterator(templatesFolder / "Templates" / kind, ignored))
            fs::remove(file.path(), ignored);
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string package = (harness->packages / "fuzz.ot").string();
    fuzzsupport::WriteFile(package, data, size);

    const std::string body = harness->templates.ReadArchive(package);
    if (!body.empty())
        harness->templates.ParseTemplate(1, "fuzz", body);

    extract_everything(package, size % 2 ? 4096 : 65536);
    check_and_clean();
    return 0;
}
