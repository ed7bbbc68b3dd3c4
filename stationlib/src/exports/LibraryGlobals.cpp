#include "dictionaries/LibraryGlobals.h"

#include "dictionaries/CMS_ConstAdapters.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/CMS_ConstTemplates.h"

CMS_ConstDictionaries& const_dictionaries()
{
    static CMS_ConstDictionaries dictionaries;
    return dictionaries;
}

CMS_ConstDevices& const_devices()
{
    static CMS_ConstDevices devices;
    return devices;
}

CMS_ConstAdapters& const_adapters()
{
    static CMS_ConstAdapters adapters;
    return adapters;
}

CMS_ConstTemplates& const_templates()
{
    static CMS_ConstTemplates templates;
    return templates;
}
