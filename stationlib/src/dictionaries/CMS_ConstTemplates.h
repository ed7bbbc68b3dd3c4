#pragma once

#include <cstdint>
#include <string>

#include "dictionaries/CMS_ContainerXml.h"

// The object and schedule templates kept in the library's "Xml/Templates" folder.
// Packages ("*.ot" object templates, "*.st" schedule templates: ZIP archives with
// the template's body in "main.xml") dropped beside the library are imported into
// its subfolders at every client instance start.
class CMS_ConstTemplates : public CMS_ContainerXml
{
public:
    static constexpr const char* kSign = "SelvoTemplate";
    static constexpr const char* kSubfolder = "Xml/Templates";

    // Loads the templates folder, then imports the waiting packages of object
    // (kind 1) and schedule (kind 2) templates. Run at each client instance start.
    // Templates never arrive from a stream, so no other refill can reach this.
    void Load() override;

    // Imports every package of the kind found beside the library. A package is
    // deleted once its template is saved; any other outcome leaves it for the
    // next start.
    void ImportPackages(int32_t kind);
    // The body of the package's "main.xml", extracted beside the package; empty
    // when there is none or it cannot be extracted or read.
    std::string ReadArchive(const std::string& path);
    // Saves the body as a template named `title` into the kind's folder; whether
    // it was saved.
    bool ParseTemplate(int32_t kind, const std::string& title, const std::string& body);
    // With its trailing separator.
    std::string GetKindFolder(int32_t kind) const;
};
