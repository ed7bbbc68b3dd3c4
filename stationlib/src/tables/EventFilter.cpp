#include "tables/EventFilter.h"

#include "base/StringHelpers.h"
#include "tables/EventTextTables.h"

#include <cstring>
#include <iterator>
#include <mutex>

namespace {

// Sensor events (Type 3) but subtype 20, then object events (Type 2): the state
// events less the history-less subtypes 4 and 5.
const int32_t kFilterValues[] = {
    3, 20, 2,
    7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
    20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38,
    40, 41, 42, 43, 44,
};

constexpr char kPlace[] = "%d";

std::once_flag g_prepared;

// Each "%d" of the template, in order, becomes the next value in decimal.
std::string fill_template(const char* text)
{
    std::string filled;
    size_t next = 0;
    for (const char* place = std::strstr(text, kPlace); place != nullptr; place = std::strstr(text, kPlace)) {
        filled.append(text, place);
        filled += next < std::size(kFilterValues) ? int_to_text(kFilterValues[next++]) : std::string(kPlace);
        text = place + std::strlen(kPlace);
    }
    return filled + text;
}

} // namespace

void prepare_event_filter_text()
{
    std::call_once(g_prepared, [] { event_filter_text() = fill_template(event_texts::EventFilterTemplate); });
}
