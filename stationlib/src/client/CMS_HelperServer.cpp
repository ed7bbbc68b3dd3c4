#include "client/CMS_HelperServer.h"

#include "base/Timeouts.h"
#include "config/CServerClientConfig.h"
#include "dictionaries/CMS_ConstTemplates.h"
#include "dictionaries/LibraryGlobals.h"
#include "threads/CCritSectLock.h"

namespace {

// The connection takes whole seconds; a shortened time-out still gets one.
int connect_timeout_seconds()
{
    const uint32_t ms = Timeouts::ConnectMs();
    const uint32_t seconds = (ms + 999u) / 1000u;
    return seconds == 0 ? 1 : static_cast<int>(seconds);
}

} // namespace

CMS_HelperServer::CMS_HelperServer() = default;

CMS_HelperServer::~CMS_HelperServer() = default;

void CMS_HelperServer::Init(int32_t clientType, const std::string& name, CServerClientConfig* settings,
                            int32_t loginValueA)
{
    m_connection.Init(this);
    m_clientType = clientType;
    m_loginValueA = loginValueA;
    m_name = name;
    m_settings = settings;
    if (m_settings != nullptr) {
        m_settings->LoadViewSettings();
        const_templates().Load();
    }
    ReadSettings();
}

void CMS_HelperServer::ReadSettings()
{
    if (m_settings == nullptr)
        return;
    CCritSectLock lock(m_settingsLock);
    m_host = m_settings->GetServerHost();
    m_port = m_settings->GetServerPort();
    m_userName = m_settings->GetUserName();
    m_groupSel = m_settings->GetGroupSel();
    m_objSel = m_settings->GetObjSel();
}

void CMS_HelperServer::SetConnectParams(const std::string& host, int32_t port, const std::string& userName,
                                        const std::string& password)
{
    CCritSectLock lock(m_settingsLock);
    m_host = host;
    m_port = port;
    m_userName = userName;
    m_password = password;
}

bool CMS_HelperServer::Connect()
{
    // Every connect starts from a closed socket; the flag stays as it is.
    m_connection.Disconnect();

    std::string host;
    int32_t port = 0;
    std::string userName;
    std::string password;
    {
        CCritSectLock lock(m_settingsLock);
        host = m_host;
        port = m_port;
        userName = m_userName;
        password = m_password;
    }

    m_connection.SetHost(host);
    m_connection.SetPort(port);
    if (!m_connection.Connect(connect_timeout_seconds()))
        return false;

    if (!m_connection.LoginAndLoad(m_clientType, m_loginValueA, m_loginValueB, userName, password)) {
        m_connection.Disconnect();
        return false;
    }
    m_connected = true;
    return true;
}

void CMS_HelperServer::Disconnect()
{
    m_connection.Disconnect();
    m_connected = false;
}

bool CMS_HelperServer::IsConnected() const
{
    return m_connected.load() && m_connection.IsConnected();
}

std::string CMS_HelperServer::GetHost() const
{
    CCritSectLock lock(m_settingsLock);
    return m_host;
}

int32_t CMS_HelperServer::GetPort() const
{
    CCritSectLock lock(m_settingsLock);
    return m_port;
}

std::string CMS_HelperServer::GetUserName() const
{
    CCritSectLock lock(m_settingsLock);
    return m_userName;
}

int32_t CMS_HelperServer::GetGroupSel() const
{
    CCritSectLock lock(m_settingsLock);
    return m_groupSel;
}

int32_t CMS_HelperServer::GetObjSel() const
{
    CCritSectLock lock(m_settingsLock);
    return m_objSel;
}
