// The bridge's own files, read as the service reads them at start: its settings
// "connection.ini" (read, then checked) and the event dictionary
// "dictionary_events_system.xml" (loaded, then asked for texts). Checks that a
// file that is there reads, that a failed dictionary says why, and that a
// dictionary read twice holds the same texts.
//
// Input: the file's bytes, then (its last byte) which file.

#include "FuzzSupport.h"

#include "model/EventDictionary.h"
#include "support/ConnectionSettings.h"

#include <cstdint>
#include <string>

namespace {

struct Harness
{
    fuzzsupport::Sandbox sandbox{"bridge-files"};
    const std::string executable = sandbox / "korvel-orvanta-client";
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds \"connection.ini\" and \"dictionary_events_system.xml\" as the bridge reads them.")

namespace {

void read_settings(const std::string& text)
{
    fuzzsupport::WriteFile(harness->sandbox / "connection.ini", text.data(), text.size());
    reset_config();
    FUZZ_CHECK(read_config(harness->executable), "a settings file that is there does not read");
    validate_config();
}

void read_dictionary(const std::string& text)
{
    fuzzsupport::WriteFile(harness->sandbox / "dictionary_events_system.xml", text.data(), text.size());
    EventsDictionary.clear();
    std::string reason;
    const bool loaded = load_events_dictionary(harness->executable, &reason);
    FUZZ_CHECK(loaded || !reason.empty(), "a dictionary fails without a reason");
    const EventTextMap first = EventsDictionary;
    EventsDictionary.clear();
    FUZZ_CHECK(load_events_dictionary(harness->executable) == loaded, "the same file loads differently");
    FUZZ_CHECK(EventsDictionary == first, "the same file gives other texts");
    for (const auto& type : first) {
        for (const auto& sub_type : type.second) {
            KorvelEvent event;
            event.Type = type.first;
            event.SubType = sub_type.first;
            FUZZ_CHECK(lookup_event_text(event) && event.Text == sub_type.second, "a stored text is not found");
        }
    }
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size - 1);
    if (data[size - 1] % 2 == 0)
        read_settings(text);
    else
        read_dictionary(text);
    return 0;
}
