#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CMSC_ClientProxy;

// One station client: one instance handle of the library, reached through the
// proxy that created it. Each wrapper returns the library's result, or -1 without
// calling it when the client is unbound (no proxy, the proxy's library not loaded,
// or no handle); Open alone passes a handle of -1 on.
class CMSC_Client
{
public:
    explicit CMSC_Client(CMSC_ClientProxy* proxy, int32_t handle = -1);
    // Closes the station connection of a bound client.
    virtual ~CMSC_Client();
    CMSC_Client(const CMSC_Client&) = delete;
    CMSC_Client& operator=(const CMSC_Client&) = delete;

    // A notification of the library, on its worker thread. Only notes the
    // station link's loss and return; the records come by polling.
    virtual int OnNotify(int32_t code, const char* text, int32_t length, int32_t reserved1, int32_t reserved2,
                         int32_t reserved3);

    // The library's reports on the station link since ClearLinkReports. The
    // library reconnects by itself, but levels that changed meanwhile never
    // come as events, so the station worker reloads the tree once it is back.
    // Lost: set by a loss, until taken. Up: false from a loss until the
    // library reports the link back.
    bool ConnectionLost() const { return m_connectionLost; }
    bool TakeConnectionLost() { return m_connectionLost.exchange(false); }
    bool LinkUp() const { return m_linkUp; }
    void ClearLinkReports()
    {
        m_connectionLost = false;
        m_linkUp = true;
    }
    // An event set after each report, for a thread that waits for them; 0: none.
    void SetLinkReportEvent(intptr_t event) { m_linkReportEvent = event; }

    int32_t GetHandle() const { return m_handle; }

    // The exports.
    int Open(const std::string& host, int32_t port, const std::string& login, const std::string& password);
    int Close();
    int IsConnected();
    int ResetEventQueue();
    int WaitEvent(uint32_t timeoutMs, intptr_t extraHandle = 0);
    int ReadEvent(char* buffer, int32_t size);
    // The station connection's last error; empty when it cannot be read.
    std::string GetLastError();
    int IOCtrl(int32_t command, const void* input, int32_t inputSize, void* output, int32_t outputSize,
               int32_t* outLength);

    // Identifier lists, appended to the vector.
    int GetObjectList(std::vector<int32_t>& ids);
    int GetDeviceIds(std::vector<int32_t>& ids);
    int GetGroupIds(std::vector<int32_t>& ids);

    // Record documents by identifier or number; the text is set on success only.
    int GetObjectByID(int32_t id, std::string& text);
    int GetObjectByNumber(int32_t number, std::string& text);
    int GetObjectByDevice(int32_t deviceId, std::string& text);
    int GetDeviceByID(int32_t id, std::string& text);
    int GetDeviceByNumber(int32_t number, std::string& text);
    int GetObjectSensors(int32_t objectId, std::string& text);
    int GetObjectClients(int32_t objectId, std::string& text);
    int GetObjectPins(int32_t objectId, std::string& text);
    int GetObjectSchedules(int32_t objectId, std::string& text);
    int GetObjetGroupByID(int32_t id, std::string& text);
    int GetGroupByNumber(int32_t number, std::string& text);
    int GetObjectImages(int32_t objectId, std::string& text);

    // The login value, or -1 on any failure.
    int32_t GetLoginValue();
    // Passes (a, b, data) to the station and its raw answer back.
    int Transact(int32_t a, int32_t b, const void* data, int32_t length, void* output, int32_t outputSize,
                 int32_t* outLength);

    // Texts read into a buffer of the given size; the text is set on success only.
    int GetEvents(const std::string& filter, std::string& text, int32_t size);
    int GetDeviceTests(const std::string& filter, std::string& text, int32_t size);
    int GetEventsRaw(const std::string& filter, char* buffer, int32_t size, int32_t* outLength = nullptr);
    int GetDictionaryText(int32_t id, std::string& text, int32_t size);
    int GetUsers(std::string& text, int32_t size);
    int GetDeviceTypes(std::string& text, int32_t size);
    int GetShifts(std::string& text, int32_t size);

    int SetClientType(int32_t type);

    // Record changes; documents in the library's code page. newId is set on success only.
    int AddObject(const std::string& document, int32_t& newId);
    int AddDevice(const std::string& document, int32_t& newId);
    int AddGroup(const std::string& document, int32_t& newId);
    int AddSensor(int32_t objectId, const std::string& document);
    int AddClient(int32_t objectId, const std::string& document);
    int AddPin(int32_t objectId, const std::string& document);
    int ChangeObject(const std::string& document);
    int ChangeDevice(const std::string& document);
    int ChangeGroup(const std::string& document);
    int ChangeSensor(int32_t objectId, const std::string& document);
    int ChangeClient(int32_t objectId, const std::string& document);
    int ChangePin(int32_t objectId, const std::string& document);
    int RemoveObject(const std::string& document);
    int RemoveDevice(const std::string& document);
    int RemoveSensor(const std::string& document);
    int RemoveClient(const std::string& document);
    int RemovePin(const std::string& document);
    int RemoveGroup(const std::string& document);

    int SendControl(int32_t id, int32_t a, int32_t b);
    int SendControlById(int32_t id);
    int PostItem(int32_t a, int32_t b, int32_t c, const std::string& text);

protected:
    // A derived class calls this first in its destructor: it waits for a
    // notification in progress and stops the next ones before the derived part goes.
    void StopNotifications();

private:
    friend class CMSC_ClientProxy;

    bool IsBound() const;
    int GetIdList(int32_t command, std::vector<int32_t>& ids);
    int GetDocument(int32_t command, int32_t id, int32_t bufferSize, std::string& text);
    int GetText(int32_t command, const void* input, int32_t inputSize, std::string& text, int32_t size);
    int TextIn(int32_t command, const std::string& text, void* output, int32_t outputSize);
    int DocumentOut(int32_t command, const void* input, int32_t inputSize, const std::string& document);
    int AddRecord(int32_t command, const std::string& document, int32_t& newId);

    int32_t m_handle;
    CMSC_ClientProxy* m_proxy;
    // Written by the library's thread, read by the station worker.
    std::atomic<bool> m_connectionLost{false};
    std::atomic<bool> m_linkUp{true};
    std::atomic<intptr_t> m_linkReportEvent{0};
};
