#include "link/port_problem.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/port_map.h"
#include "link/serial_channel.h"

namespace port_problem {

namespace {

std::string Format(const char* format, const std::string& a, const std::string& b = {}) {
    int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    std::vector<char> text(static_cast<size_t>(std::max(n, 0)) + 1);
    std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
    return text.data();
}

}  // namespace

std::string ExplainOpenFailure(const SerialChannel& channel) {
    const std::string& error = channel.OpenError();
    if (error.empty() || channel.OpenProblem() != SerialPort::Problem::NoDevice) return error;
    if (!channel.ExplicitDevice().empty()) return error + kNotThere;
    PortEntry entry = ProgramPortMap().Entry(channel.Port());
    std::string com = "COM" + std::to_string(channel.Port());
    if (entry.source == PortSource::Pinned && !entry.present) {
        return Format(kPinnedAbsent, com, entry.label.empty() ? entry.stableName : entry.label);
    }
    if (entry.source == PortSource::None) return Format(kNothingThere, com, error);
    return error + kNotThere;
}

std::string DeviceGoneMessage(const SerialChannel& channel) {
    return Format(kDeviceGone, channel.Device()) + "\n" + kDeviceGoneCure;
}

}  // namespace port_problem
