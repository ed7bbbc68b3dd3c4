#include "archive/ClientSettingsValues.h"

#include "archive/ClientFieldCodec.h"
#include "base/StringHelpers.h"

namespace {

constexpr int kCCAccLength = 10;

} // namespace

void ClientSettingsValues::ReadClientSettings(const std::string& settings)
{
    CCAcc = scramble_client_field(settings_get(settings, "CCAcc", std::string()), kCCAccLength);
    Phone1 = last_ten_digits(settings_get(settings, "Phone1", std::string()));
    Phone2 = last_ten_digits(settings_get(settings, "Phone2", std::string()));

    const std::string flags = settings_get(settings, "CCFl", std::string());
    if (hex_text_bit(flags, 0, 1) != 0)
        CCFlMode = 1;
    else if (hex_text_bit(flags, 2, 0) != 0)
        CCFlMode = 2;
    else
        CCFlMode = 0;
    CCFlBit3 = hex_text_bit(flags, 3, 0) != 0;
    CCFlBit4 = hex_text_bit(flags, 4, 0) != 0;
    CCFlBit5 = hex_text_bit(flags, 5, 0) != 0;
    CCFlBit6 = hex_text_bit(flags, 6, 0) != 0;
}
