#pragma once

#include <cstdint>

#include "dictionaries/CMS_ContainerXml.h"

// The object and schedule templates kept in the library's "Xml/Templates" folder.
class CMS_ConstTemplates : public CMS_ContainerXml
{
public:
    static constexpr const char* kSign = "SelvoTemplate";
    static constexpr const char* kSubfolder = "Xml/Templates";

    // Loads the templates folder, then imports the waiting packages of object
    // (kind 1) and schedule (kind 2) templates. Run at each client instance start.
    // Templates never arrive from a stream, so no other refill can reach this.
    void Load() override;

    // Imports every package of the kind found beside the library.
    void ImportPackages(int32_t kind);
};
