#pragma once

#include <string>
#include <vector>

struct PortEntry;

// One line of "qorwctl ports", tab-separated: COM number, the device it opens, the adapter,
// its stable name, and how the number came to it ("automatic", "pinned", "pinned, not plugged
// in", or "QORW_COM<n>"). Empty for a COM number with nothing behind it.
std::string PortLine(const PortEntry& entry);

// The device a --port value names: COM<n> as the window numbers it; a path as it is; a by-id or
// kernel name of a present device. A name that leads nowhere is looked for under
// /dev/serial/by-id, so that the failure to open it names the place.
std::string DeviceNamed(const std::string& name);

// When two of the --port values name one device (the same path, a link to it, its by-id name, a
// COM number that leads to it): the usage message naming both as given; else empty.
std::string SamePortTwice(const std::vector<std::string>& names);
