#include "station/CMSC_ClientProxy.h"

#include "station/CMSC_Client.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

constexpr int32_t kInfoBufferSize = 4096;

// The library calls back with nothing but the user value given to msc_Create,
// so the set of live clients is one for the process. Recursive, so that a
// notification may delete its own client.
struct LiveClients
{
    std::recursive_mutex mutex;
    std::unordered_set<CMSC_Client*> clients;
};

LiveClients& live_clients()
{
    static LiveClients* live = new LiveClients; // outlives every client, even static ones
    return *live;
}

// Binds one export; the first one missing is named in `missing`.
template <typename Function>
bool bind(platform::LibraryHandle module, const char* name, Function& function, const char*& missing)
{
    function = reinterpret_cast<Function>(platform::find_library_symbol(module, name));
    if (function == nullptr && missing == nullptr)
        missing = name;
    return function != nullptr;
}

} // namespace

CMSC_ClientProxy::~CMSC_ClientProxy()
{
    if (m_module != nullptr)
        Unload();
    DetachClients();
}

bool CMSC_ClientProxy::Load(const std::string& fileName)
{
    if (m_module != nullptr)
        return true;
    platform::LibraryLoadFailure failure;
    m_module = platform::load_library(fileName, &failure);
    if (m_module == nullptr) {
        m_loadFailure = "unable to load " + failure.file + " (" + failure.reason + ")";
        return false;
    }

    // Every lookup is made, so that msc_Finalize is known even after a missing one.
    const char* missing = nullptr;
    bool complete = bind(m_module, "msc_GetLastError", m_GetLastError, missing);
    complete &= bind(m_module, "msc_Open", m_Open, missing);
    complete &= bind(m_module, "msc_Create", m_Create, missing);
    complete &= bind(m_module, "msc_IsConnected", m_IsConnected, missing);
    complete &= bind(m_module, "msc_Close", m_Close, missing);
    complete &= bind(m_module, "msc_WaitEvent", m_WaitEvent, missing);
    complete &= bind(m_module, "msc_ReadEvent", m_ReadEvent, missing);
    complete &= bind(m_module, "msc_ResetEventQueue", m_ResetEventQueue, missing);
    complete &= bind(m_module, "msc_Initialize", m_Initialize, missing);
    complete &= bind(m_module, "msc_Finalize", m_Finalize, missing);
    complete &= bind(m_module, "msc_IOCtrl", m_IOCtrl, missing);
    complete &= bind(m_module, "msc_GetInfo", m_GetInfo, missing);
    if (!complete) {
        m_loadFailure = std::string("no export ") + missing + " in " + platform::library_path(m_module);
        if (m_Finalize != nullptr)
            m_Finalize();
        platform::free_library(m_module);
        m_module = nullptr;
        ClearExports();
        return false;
    }
    m_loadFailure.clear();

    m_Initialize(&CMSC_ClientProxy::EventCallback);
    try {
        std::vector<char> info(kInfoBufferSize, '\0');
        if (m_GetInfo(info.data(), kInfoBufferSize) == MSC_OK)
            m_infoText.assign(info.data(), strnlen(info.data(), info.size()));
    } catch (const std::bad_alloc&) {
        // The info text is only kept; the library is usable without it.
    }
    return true;
}

std::unique_ptr<CMSC_Client> CMSC_ClientProxy::CreateClient()
{
    if (m_module == nullptr)
        return nullptr;
    std::unique_ptr<CMSC_Client> client;
    try {
        client.reset(new CMSC_Client(this));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    int32_t handle = -1;
    if (m_Create(reinterpret_cast<intptr_t>(client.get()), &handle) != MSC_OK)
        return nullptr;
    client->m_handle = handle;
    return client;
}

int CMSC_ClientProxy::Unload()
{
    if (m_module == nullptr)
        return 0;
    m_Finalize();
    m_Finalize = nullptr;
    const bool released = platform::free_library(m_module);
    m_module = nullptr;
    ClearExports();
    return released ? 1 : 0;
}

int32_t MSC_CALL CMSC_ClientProxy::EventCallback(intptr_t user, int32_t code, const char* text, int32_t length,
                                                 int32_t reserved1, int32_t reserved2, int32_t reserved3)
{
    if (user == 0)
        return 0;
    try {
        LiveClients& live = live_clients();
        // Held during the call, so that a client is not deleted under it.
        std::lock_guard<std::recursive_mutex> lock(live.mutex);
        CMSC_Client* client = reinterpret_cast<CMSC_Client*>(user);
        if (live.clients.count(client) == 0)
            return 0;
        return client->OnNotify(code, text, length, reserved1, reserved2, reserved3);
    } catch (...) {
        return 0;
    }
}

void CMSC_ClientProxy::RegisterClient(CMSC_Client* client)
{
    LiveClients& live = live_clients();
    std::lock_guard<std::recursive_mutex> lock(live.mutex);
    live.clients.insert(client);
}

void CMSC_ClientProxy::UnregisterClient(CMSC_Client* client)
{
    LiveClients& live = live_clients();
    std::lock_guard<std::recursive_mutex> lock(live.mutex);
    live.clients.erase(client);
}

void CMSC_ClientProxy::DetachClients()
{
    LiveClients& live = live_clients();
    std::lock_guard<std::recursive_mutex> lock(live.mutex);
    for (CMSC_Client* client : live.clients) {
        if (client->m_proxy == this)
            client->m_proxy = nullptr;
    }
}

void CMSC_ClientProxy::ClearExports()
{
    m_GetLastError = nullptr;
    m_Open = nullptr;
    m_Create = nullptr;
    m_IsConnected = nullptr;
    m_Close = nullptr;
    m_WaitEvent = nullptr;
    m_ReadEvent = nullptr;
    m_ResetEventQueue = nullptr;
    m_Initialize = nullptr;
    m_Finalize = nullptr;
    m_IOCtrl = nullptr;
    m_GetInfo = nullptr;
}
