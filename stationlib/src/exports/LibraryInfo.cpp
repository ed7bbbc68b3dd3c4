#include "exports/LibraryInfo.h"

#include "archive/CFieldArchive.h"
#include "archive/CObjectStoreXmlHelper.h"
#include "base/ModuleInfo.h"
#include "client/CMS_HelperClientLib.h"

#include <memory>

namespace {

constexpr char kLibraryName[] = "ArdentisLib";
constexpr char kInfoTag[] = "info";

// The library's description, written and read like a station record so the
// document has the form of every other list document.
class LibraryInfoRecord : public CObjectStoreXmlHelper
{
public:
    std::string Name;
    std::string Description;
    std::string Version;

    bool Load(CFieldArchive* archive, int /*flag*/) override
    {
        return archive != nullptr && archive->GetString("Name", Name) &&
               archive->GetString("Description", Description) && archive->GetString("Version", Version);
    }

    bool Save(CFieldArchive* archive) const override
    {
        return archive != nullptr && archive->SetString("Name", Name) &&
               archive->SetString("Description", Description) && archive->SetString("Version", Version);
    }

    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override
    {
        return std::make_unique<LibraryInfoRecord>();
    }

    std::string GetStoreFileName() const override { return std::string(); }
};

} // namespace

std::string build_info_document()
{
    const ModuleVersion version = get_file_version();
    LibraryInfoRecord info;
    info.Name = kLibraryName;
    info.Description = get_product_name();
    info.Version = std::to_string(version.major) + "." + std::to_string(version.minor);
    return CMS_HelperClientLib::RecordToXml(info, kInfoTag);
}
