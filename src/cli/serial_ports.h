#pragma once

#include <string>

struct PortEntry;

// One line of "qorwctl ports", tab-separated: COM number, the device it opens, the adapter,
// its stable name, and how the number came to it ("automatic", "pinned", "pinned, not plugged
// in", or "QORW_COM<n>"). Empty for a COM number with nothing behind it.
std::string PortLine(const PortEntry& entry);
