#pragma once

// The event filter text: sensor events but the history-less subtype, and the
// object state events. Prepared once per process; no request sends it.

#include <string>

// The library-wide text, empty until prepare_event_filter_text.
std::string& event_filter_text();

// Fills the text from the filter template; only the first call of the process
// does, whichever thread makes it.
void prepare_event_filter_text();
