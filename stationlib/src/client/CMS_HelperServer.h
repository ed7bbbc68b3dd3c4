#pragma once

#include "client/CMS_ServerClient.h"
#include "threads/CCritSect.h"

#include <atomic>
#include <cstdint>
#include <string>

class CByteStream;
class CServerClientConfig;

// The station side of one client instance: its connection, the connection
// settings under a lock, and the two steps the instance builds on, connect
// (socket, login, lists) and disconnect. Every notification the connection
// receives is handed to OnPacket, on the connection's receive thread.
class CMS_HelperServer
{
public:
    CMS_HelperServer();
    virtual ~CMS_HelperServer();
    CMS_HelperServer(const CMS_HelperServer&) = delete;
    CMS_HelperServer& operator=(const CMS_HelperServer&) = delete;

    // `code` is the notification's first word; `stream` stands after it. The
    // result goes back to the receive thread as the message's result;
    // CLanClient::kBreakLink ends the link.
    virtual int32_t OnPacket(CMS_ServerClient* connection, int32_t code, CByteStream& stream) = 0;

    // Binds the connection to this owner and takes the station settings (the
    // settings stay the caller's). With settings, also loads the view settings
    // and the template container.
    void Init(int32_t clientType, const std::string& name, CServerClientConfig* settings, int32_t loginValueA);
    // Host, port, user name and the two selections from the settings; the
    // password never comes from the file.
    void ReadSettings();

    // Closes any running connection, connects within the connect time-out,
    // logs in and loads the lists.
    bool Connect();
    void Disconnect();
    // The connected flag and a live link.
    bool IsConnected() const;
    // The connected flag as the last Connect or Disconnect left it.
    bool GetConnected() const { return m_connected.load(); }

    // The values the next Connect uses, under the settings lock.
    void SetConnectParams(const std::string& host, int32_t port, const std::string& userName,
                          const std::string& password);

    int32_t GetClientType() const { return m_clientType.load(); }
    // Used by the next Connect.
    void SetClientType(int32_t clientType) { m_clientType = clientType; }

    CMS_ServerClient& GetServerClient() { return m_connection; }
    const CMS_ServerClient& GetServerClient() const { return m_connection; }

    const std::string& GetProductName() const { return m_name; }
    std::string GetHost() const;
    int32_t GetPort() const;
    std::string GetUserName() const;
    int32_t GetGroupSel() const;
    int32_t GetObjSel() const;

    // The host wants the connection kept up.
    bool IsOpen() const { return m_open.load(); }

protected:
    void SetOpen(bool open) { m_open = open; }

private:
    CServerClientConfig* m_settings = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<int32_t> m_clientType{6};
    int32_t m_loginValueA = -1;
    int32_t m_loginValueB = 0;
    CMS_ServerClient m_connection;
    std::string m_name;
    std::string m_host;
    int32_t m_port = 0;
    std::string m_userName;
    std::string m_password;
    mutable CCritSect m_settingsLock;
    std::atomic<bool> m_open{false};
    int32_t m_groupSel = -1;
    int32_t m_objSel = -1;
};
