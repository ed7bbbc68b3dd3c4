#pragma once

#include <cstdint>
#include <string>

#include "config/CConfig.h"

// The station settings of one client instance: "ardentis.ini" beside the host's
// executable, seeded from the library's default-settings resource.
class CServerClientConfig : public CConfig
{
public:
    CServerClientConfig();

    // Loads the file over the defaults, rewrites it when it was read, then takes
    // the view values.
    void LoadViewSettings();

    std::string GetServerHost() const;
    int32_t GetServerPort() const;
    std::string GetUserName() const;
    int32_t GetGroupSel() const;
    int32_t GetObjSel() const;

    int32_t GetShowStateImage() const { return m_showStateImage; }
    int32_t GetShowStateImageMask() const { return m_showStateImageMask; }
    int32_t GetChessFont() const { return m_chessFont; }

    static constexpr char kFileName[] = "ardentis.ini";

private:
    int32_t m_showStateImage = -1;
    int32_t m_showStateImageMask = -1;
    int32_t m_chessFont = 0;
};
