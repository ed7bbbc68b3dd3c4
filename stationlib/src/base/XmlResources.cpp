#include "base/XmlResources.h"

#include "base/FileHelpers.h"
#include "base/ResourceTable.h"

bool load_xml_resource(int id, std::string& out)
{
    const ResourceEntry* entry = find_resource("XML", std::to_string(id).c_str());
    if (entry == nullptr)
        return false;
    out.assign(reinterpret_cast<const char*>(entry->data), entry->size);
    return true;
}

bool write_resource_file(int id, const std::string& path, bool overwrite)
{
    std::string text;
    if (!load_xml_resource(id, text))
        return false;
    if (!overwrite && path_exists(path))
        return true;
    return file_write_all(path, text);
}
