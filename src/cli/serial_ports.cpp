#include "cli/serial_ports.h"

#include "cli/cli_options.h"
#include "link/port_map.h"
#include "link/serial_devices.h"
#include "link/serial_port.h"

namespace {

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

}  // namespace

std::string PortLine(const PortEntry& entry) {
    std::string how;
    switch (entry.source) {
        case PortSource::None:
            return {};
        case PortSource::Override:
            how = "QORW_COM" + std::to_string(entry.com);
            break;
        case PortSource::Pinned:
            how = entry.present ? "pinned" : std::string("pinned, ") + PortMap::kNotPluggedIn;
            break;
        case PortSource::Automatic:
            how = "automatic";
            break;
    }
    return "COM" + std::to_string(entry.com) + '\t' + entry.device + '\t' + OrDash(entry.label) +
           '\t' + OrDash(entry.stableName) + '\t' + how;
}

std::string DeviceNamed(const std::string& name) {
    if (auto com = ComNumberOf(name)) return DeviceForPort(*com);
    PortMap& map = ProgramPortMap();
    map.Refresh();
    std::string device = map.Resolve(name);
    return device.empty() ? "/dev/serial/by-id/" + name : device;
}

std::string SamePortTwice(const std::vector<std::string>& names) {
    std::vector<std::string> devices;
    for (const std::string& name : names)
        devices.push_back(DeviceNamed(name));
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (!devices[i].empty() && SameDevice(devices[j], devices[i]))
                return "\"" + names[j] + "\" and \"" + names[i] + "\" name the same port";
        }
    }
    return {};
}
