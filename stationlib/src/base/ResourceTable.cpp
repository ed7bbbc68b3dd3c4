#include "base/ResourceTable.h"

#include <cstring>

const ResourceEntry* find_resource(const char* type, const char* name)
{
    if (type == nullptr || name == nullptr)
        return nullptr;
    for (size_t i = 0; i < kResourceCount; ++i) {
        const ResourceEntry& entry = kResourceTable[i];
        if (std::strcmp(entry.type, type) == 0 && std::strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}
