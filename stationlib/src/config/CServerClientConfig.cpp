#include "config/CServerClientConfig.h"

#include "base/XmlResources.h"

namespace {

const char kMainSection[] = "Main";
const char kObjectsSection[] = "Objects";

const char kServerHostKey[] = "ServerHost";
const char kServerPortKey[] = "ServerPort";
const char kUserNameKey[] = "UserName";
const char kGroupSelKey[] = "GroupSel";
const char kObjSelKey[] = "ObjSel";
const char kShowStateImageKey[] = "ShowStateImage";
const char kShowStateImageMaskKey[] = "ShowStateImageMask";
const char kChessFontKey[] = "ChessFont";

const char kDefaultServerHost[] = "localhost";
constexpr int32_t kDefaultServerPort = 5000;
constexpr int32_t kNoSelection = -1;

} // namespace

CServerClientConfig::CServerClientConfig()
    : CConfig(kFileName, kResourceDefaultSettings, true)
{
}

void CServerClientConfig::LoadViewSettings()
{
    // Rewriting at once brings the file into the library's own form, defaults
    // included.
    if (Load())
        Save();
    m_showStateImage = GetInt(kObjectsSection, kShowStateImageKey, 0);
    m_showStateImageMask = GetInt(kObjectsSection, kShowStateImageMaskKey, 0);
    m_chessFont = GetInt(kMainSection, kChessFontKey, 0);
}

std::string CServerClientConfig::GetServerHost() const
{
    return GetString(kMainSection, kServerHostKey, kDefaultServerHost);
}

int32_t CServerClientConfig::GetServerPort() const
{
    return GetInt(kMainSection, kServerPortKey, kDefaultServerPort);
}

std::string CServerClientConfig::GetUserName() const
{
    return GetString(kMainSection, kUserNameKey);
}

int32_t CServerClientConfig::GetGroupSel() const
{
    return GetInt(kMainSection, kGroupSelKey, kNoSelection);
}

int32_t CServerClientConfig::GetObjSel() const
{
    return GetInt(kMainSection, kObjSelKey, kNoSelection);
}
