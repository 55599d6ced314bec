#include "cli/serial_ports.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "link/serial_port.h"

namespace {

constexpr int kPortCount = 32;

std::optional<std::string> RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string result = resolved;
    ::free(resolved);
    return result;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    return names;
}

// ttyUSB0 .. ttyUSB10 in number order rather than by text.
std::vector<std::string> NumberedDevices(const std::vector<std::string>& devNames,
                                         const std::string& prefix) {
    std::vector<std::pair<long, std::string>> found;
    for (const std::string& name : devNames) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string digits = name.substr(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c); }))
            continue;
        found.emplace_back(std::stol(digits), name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [n, name] : found) names.push_back(name);
    return names;
}

// The kernel registers ttyS0..ttyS31 whether or not a UART is behind them; its type 0 says none.
bool UartPresent(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = -1;
    if (!(type >> value)) return true;  // nothing to tell by: list it
    return value != 0;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> entries;

    std::vector<std::string> byId = Names("/dev/serial/by-id");
    std::sort(byId.begin(), byId.end());
    for (const std::string& name : byId) {
        std::string path = "/dev/serial/by-id/" + name;
        entries.push_back({path, RealPath(path).value_or(std::string()), {}});
    }

    std::vector<std::string> dev = Names("/dev");
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        for (const std::string& name : NumberedDevices(dev, prefix)) {
            if (std::string(prefix) == "ttyS" && !UartPresent(name)) continue;
            entries.push_back({"/dev/" + name, {}, {}});
        }
    }

    // Which device each COM number opens, by the path it finally leads to.
    std::map<std::string, std::vector<int>> comsByDevice;
    std::vector<std::pair<int, std::string>> mappedOnly;
    for (int n = 1; n <= kPortCount; ++n) {
        std::string device = DeviceForPort(n);
        std::optional<std::string> real = RealPath(device);
        if (!real) continue;
        comsByDevice[*real].push_back(n);
        std::string variable = "QORW_COM" + std::to_string(n);
        const char* set = std::getenv(variable.c_str());
        if (set && *set) mappedOnly.emplace_back(n, device);
    }
    for (SerialPortEntry& e : entries) {
        std::optional<std::string> real = RealPath(e.device);
        if (real && comsByDevice.count(*real)) e.comNumbers = comsByDevice[*real];
    }
    // Devices only a QORW_COMn variable names (a USB adapter by path, a pseudo-terminal).
    for (auto& [n, device] : mappedOnly) {
        std::string real = RealPath(device).value_or(device);
        bool listed = std::any_of(entries.begin(), entries.end(), [&](const SerialPortEntry& e) {
            return RealPath(e.device).value_or(e.device) == real;
        });
        if (!listed) entries.push_back({device, {}, comsByDevice[real]});
    }
    return entries;
}

std::string PortLine(const SerialPortEntry& entry) {
    std::string line = entry.device + '\t';
    if (entry.comNumbers.empty()) line += '-';
    for (size_t i = 0; i < entry.comNumbers.size(); ++i) {
        if (i) line += ',';
        line += "COM" + std::to_string(entry.comNumbers[i]);
    }
    if (!entry.target.empty()) line += "\t-> " + entry.target;
    return line;
}
