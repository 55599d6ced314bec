#include "link/port_map.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kPinsHeader =
    "# COM numbers pinned to serial adapters by the QOR / QORW Utility:\n"
    "# COM<n> <TAB> stable device name <TAB> adapter\n";
constexpr const char* kUartPrefix = "/dev/ttyS";
constexpr const char* kById = "/dev/serial/by-id/";

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// k of /dev/ttyS<k>; -1 for any other name.
int UartNumber(const std::string& devnode) {
    if (devnode.rfind(kUartPrefix, 0) != 0) return -1;
    std::string digits = devnode.substr(std::string(kUartPrefix).size());
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoi(digits);
}

std::string Override(int com) {
    const char* value = std::getenv(("QORW_COM" + std::to_string(com)).c_str());
    return value ? value : "";
}

PortEntry Blank(int com) {
    PortEntry e;
    e.com = com;
    return e;
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    size_t at = 0;
    while ((at = dir.find('/', at + 1)) != std::string::npos)
        ::mkdir(dir.substr(0, at).c_str(), 0700);
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string PortEntry::Text() const {
    std::string text = "COM" + std::to_string(com);
    if (source == PortSource::None) return text;
    if (present)
        return text + (label.empty() || label == device ? "" : "  " + label) + "  " + device;
    return text + "  " + (label.empty() ? device : label) + "  " + PortMap::kNotPluggedIn;
}

std::string DefaultPinsPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/qorwutil/ports";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/qorwutil/ports";
    return {};
}

PortMap& ProgramPortMap() {
    static PortMap map;
    return map;
}

PortMap::PortMap(std::string pinsPath) : pinsPath_(std::move(pinsPath)) {
    for (int com = 1; com <= kPortCount; ++com)
        entries_.push_back(Blank(com));
}

std::string PortMap::PinsPath() const {
    return pinsPath_.empty() ? DefaultPinsPath() : pinsPath_;
}

PortMap::Pins PortMap::ReadPins(const std::string& path) {
    Pins pins;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("COM", 0) != 0) continue;
        std::istringstream fields(line.substr(3));
        std::string number, stable, label;
        if (!std::getline(fields, number, '\t') || !std::getline(fields, stable, '\t')) continue;
        std::getline(fields, label);
        int com = std::atoi(number.c_str());
        if (com >= 1 && com <= kPortCount && !stable.empty()) pins[com] = {stable, label};
    }
    return pins;
}

bool PortMap::WritePins(const std::string& path, const Pins& pins) {
    if (path.empty() || !MakeDirs(path.substr(0, path.rfind('/')))) return false;
    // Written beside and renamed over, so a window reading it never sees half a file.
    std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << kPinsHeader;
        for (const auto& [com, pin] : pins)
            out << "COM" << com << '\t' << pin.stableName << '\t' << pin.label << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool PortMap::Refresh() {
    return Refresh(FindSerialDevices());
}

bool PortMap::Refresh(const std::vector<SerialDevice>& present) {
    std::lock_guard lk(mu_);
    Pins pins = ReadPins(PinsPath());
    std::vector<PortEntry> next;
    for (int com = 1; com <= kPortCount; ++com)
        next.push_back(Blank(com));
    std::vector<bool> claimed(present.size(), false);

    // The present device a name means: its kernel name, its by-id name, or a link to either.
    auto find = [&](const std::string& name) -> int {
        std::string real;
        for (size_t i = 0; i < present.size(); ++i) {
            if (present[i].devnode == name || present[i].byId == name) return static_cast<int>(i);
        }
        real = RealPath(name);
        for (size_t i = 0; !real.empty() && i < present.size(); ++i) {
            if (present[i].devnode == real) return static_cast<int>(i);
        }
        return -1;
    };
    auto take = [&](PortEntry& e, PortSource source, size_t i) {
        claimed[i] = true;
        e.source = source;
        e.device = present[i].devnode;
        e.label = present[i].Label();
        e.stableName = present[i].StableName();
        e.present = true;
    };

    for (PortEntry& e : next) {
        std::string path = Override(e.com);
        if (path.empty()) continue;
        int i = find(path);
        if (i >= 0) take(e, PortSource::Override, static_cast<size_t>(i));
        e.source = PortSource::Override;
        e.device = path;
        e.present = ::access(path.c_str(), F_OK) == 0;
    }
    for (const auto& [com, pin] : pins) {
        PortEntry& e = next[static_cast<size_t>(com - 1)];
        if (e.source != PortSource::None) continue;
        int i = find(pin.stableName);
        if (i >= 0 && !claimed[static_cast<size_t>(i)]) {
            take(e, PortSource::Pinned, static_cast<size_t>(i));
            continue;
        }
        e.source = PortSource::Pinned;
        e.device = pin.stableName;
        e.stableName = pin.stableName;
        e.label = pin.label;
    }
    for (size_t i = 0; i < present.size(); ++i) {
        int k = UartNumber(present[i].devnode);
        if (claimed[i] || k < 0 || k >= kPortCount) continue;
        if (next[static_cast<size_t>(k)].source == PortSource::None)
            take(next[static_cast<size_t>(k)], PortSource::Automatic, i);
    }
    for (size_t i = 0; i < present.size(); ++i) {
        auto kept = automatic_.find(present[i].StableName());
        if (claimed[i] || kept == automatic_.end()) continue;
        PortEntry& e = next[static_cast<size_t>(kept->second - 1)];
        if (e.source == PortSource::None) take(e, PortSource::Automatic, i);
    }
    std::vector<size_t> rest;
    for (size_t i = 0; i < present.size(); ++i) {
        if (!claimed[i]) rest.push_back(i);
    }
    std::stable_sort(rest.begin(), rest.end(), [&](size_t a, size_t b) {
        const SerialDevice &x = present[a], &y = present[b];
        if (x.byId.empty() != y.byId.empty()) return !x.byId.empty();
        return NaturalLess(x.StableName(), y.StableName());
    });
    auto freeEntry = next.begin();
    for (size_t i : rest) {
        freeEntry = std::find_if(freeEntry, next.end(),
                                 [](const PortEntry& e) { return e.source == PortSource::None; });
        if (freeEntry == next.end()) break;
        take(*freeEntry, PortSource::Automatic, i);
    }

    automatic_.clear();
    for (const PortEntry& e : next) {
        if (e.source == PortSource::Automatic) automatic_[e.stableName] = e.com;
    }
    present_ = present;
    bool changed = next != entries_;
    entries_ = std::move(next);
    return changed;
}

PortEntry PortMap::Entry(int com) const {
    std::lock_guard lk(mu_);
    if (com < 1 || com > kPortCount) return Blank(com);
    return entries_[static_cast<size_t>(com - 1)];
}

std::string PortMap::DeviceFor(int com) const {
    std::string path = Override(com);
    if (!path.empty()) return path;
    if (com >= 1 && com <= kPortCount) {
        std::lock_guard lk(mu_);
        const PortEntry& e = entries_[static_cast<size_t>(com - 1)];
        if (e.source != PortSource::None) return e.device;
    }
    return kUartPrefix + std::to_string(com - 1);
}

bool PortMap::Pin(int com) {
    std::lock_guard lk(mu_);
    if (com < 1 || com > kPortCount) return false;
    PortEntry& e = entries_[static_cast<size_t>(com - 1)];
    if (e.source == PortSource::Pinned) return true;
    if (e.source != PortSource::Automatic) return false;
    std::string path = PinsPath();
    Pins pins = ReadPins(path);
    // One adapter, one number.
    for (auto it = pins.begin(); it != pins.end();) {
        it = it->second.stableName == e.stableName ? pins.erase(it) : std::next(it);
    }
    pins[com] = {e.stableName, e.label};
    if (!WritePins(path, pins)) return false;
    e.source = PortSource::Pinned;
    automatic_.erase(e.stableName);
    return true;
}

std::string PortMap::Resolve(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    {
        std::lock_guard lk(mu_);
        for (const SerialDevice& d : present_) {
            if (!d.byId.empty() && BaseName(d.byId) == name) return d.byId;
        }
        for (const SerialDevice& d : present_) {
            if (BaseName(d.devnode) == name) return d.devnode;
        }
    }
    std::string byId = kById + name;
    return ::access(byId.c_str(), F_OK) == 0 ? byId : std::string();
}
