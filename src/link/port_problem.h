#pragma once

#include <string>

class SerialChannel;

namespace port_problem {

constexpr const char* kDeviceGone = "The serial device went away: %s was unplugged.";
constexpr const char* kDeviceGoneCure = "Plug it back in, then try again.";
constexpr const char* kPinnedAbsent =
    "%s is pinned to %s, which is not plugged in: plug it in, "
    "or choose another COM port";
constexpr const char* kNothingThere =
    "Nothing is plugged in as %s (%s): plug in a serial "
    "adapter, or choose a COM port that names one";
constexpr const char* kNotThere = "; the device is not there: plug it in, or choose another port";

// What stands in the way of opening the channel's device and what to do about it, on one line
// (it follows the result code's text). Empty when the channel has no open failure.
std::string ExplainOpenFailure(const SerialChannel& channel);

// The one message for a device that went away while the channel was open.
std::string DeviceGoneMessage(const SerialChannel& channel);

}  // namespace port_problem
