#pragma once

#include "Ardentis.h"
#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <string>

class CMSC_Client;

// The station client library bound at run time: the loaded module and its twelve
// exports. Lives on the station worker's stack; the clients it creates call the
// library through it.
class CMSC_ClientProxy
{
public:
    CMSC_ClientProxy() = default;
    virtual ~CMSC_ClientProxy();
    CMSC_ClientProxy(const CMSC_ClientProxy&) = delete;
    CMSC_ClientProxy& operator=(const CMSC_ClientProxy&) = delete;

    // Loads the library by its Windows name ("Ardentis.dll"), binds all twelve
    // exports, initialises it with EventCallback and keeps its info text. True when
    // already loaded. A missing export leaves nothing loaded.
    bool Load(const std::string& fileName);
    // Why the last Load failed, in one line: the file tried and the loader's
    // text, or the first export missing.
    const std::string& GetLoadFailure() const { return m_loadFailure; }

    // A new client with its own library instance; null when not loaded or the
    // library could not create one.
    virtual std::unique_ptr<CMSC_Client> CreateClient();

    // msc_Finalize, then releases the module. The release's result: non-zero when
    // it was released, 0 when nothing was loaded.
    int Unload();

    bool IsLoaded() const { return m_module != nullptr; }
    const std::string& GetInfoText() const { return m_infoText; }

    // The callback given to msc_Initialize. The library calls it on its own worker
    // thread, also for a client the bridge has deleted already: only a live client
    // hears of it, and nothing it throws reaches the library.
    static int32_t MSC_CALL EventCallback(intptr_t user, int32_t code, const char* text, int32_t length,
                                          int32_t reserved1, int32_t reserved2, int32_t reserved3);

private:
    friend class CMSC_Client;

    // The set of live clients, which EventCallback consults.
    static void RegisterClient(CMSC_Client* client);
    static void UnregisterClient(CMSC_Client* client);
    // Clients still pointing at this proxy when it goes are left unbound.
    void DetachClients();
    void ClearExports();

    std::string m_infoText;
    std::string m_loadFailure;
    platform::LibraryHandle m_module = nullptr;
    msc_GetLastError_t m_GetLastError = nullptr;
    msc_Open_t m_Open = nullptr;
    msc_Create_t m_Create = nullptr;
    msc_IsConnected_t m_IsConnected = nullptr;
    msc_Close_t m_Close = nullptr;
    msc_WaitEvent_t m_WaitEvent = nullptr;
    msc_ReadEvent_t m_ReadEvent = nullptr;
    msc_ResetEventQueue_t m_ResetEventQueue = nullptr;
    msc_Initialize_t m_Initialize = nullptr;
    msc_Finalize_t m_Finalize = nullptr;
    msc_IOCtrl_t m_IOCtrl = nullptr;
    msc_GetInfo_t m_GetInfo = nullptr;
};
