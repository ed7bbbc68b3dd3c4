// The library's global objects, all in this one file so that they are built in
// this order when the library is loaded and destroyed in reverse when it is
// unloaded. Instances the host never finalised therefore go first, their threads
// joined, while the containers, dictionaries and file log they use still stand.

#include "base/ModuleInfoState.h"
#include "client/CMS_HelperClientLib.h"
#include "config/CConfig.h"
#include "dictionaries/CMS_ConstAdapters.h"
#include "dictionaries/CMS_ConstDevices.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/CMS_ConstTemplates.h"
#include "dictionaries/LibraryGlobals.h"
#include "exports/HandleTable.h"
#include "exports/LibraryStartup.h"
#include "tables/EventFilter.h"
#include "threads/CFileLog.h"

#include <string>

namespace {

// The product text and the rest of what the version block and module path say.
ModuleInfoState g_moduleInfo;

} // namespace

CFileLog g_fileLog;

namespace {

CMS_ConstAdapters g_constAdapters;
CMS_ConstDevices g_constDevices;
// Builds its first generation of the thirteen dictionaries with it.
CMS_ConstDictionaries g_constDictionaries;
// The response-crew and object state names come here in the library's order;
// they are constant rows (tables/EventTextTables.h) with nothing to build.
CMS_ConstTemplates g_constTemplates;
std::string g_eventFilterText;
HandleTable<CMS_HelperClientLib> g_instances;
// No file name, no defaults; its folder is the current directory at load.
CConfig g_librarySettings(nullptr, -1, false);

} // namespace

ModuleInfoState& module_info_state()
{
    return g_moduleInfo;
}

CMS_ConstAdapters& const_adapters()
{
    return g_constAdapters;
}

CMS_ConstDevices& const_devices()
{
    return g_constDevices;
}

CMS_ConstDictionaries& const_dictionaries()
{
    return g_constDictionaries;
}

CMS_ConstTemplates& const_templates()
{
    return g_constTemplates;
}

std::string& event_filter_text()
{
    return g_eventFilterText;
}

HandleTable<CMS_HelperClientLib>& library_instances()
{
    return g_instances;
}

CConfig& library_settings()
{
    return g_librarySettings;
}
