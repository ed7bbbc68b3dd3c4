#pragma once

// Raises the soft limit of open descriptors to the hard one, so the bridge can
// serve as many connections as the system lets it. False when the limit could
// not be read or set; the soft limit stays then.
bool raise_descriptor_limit();
