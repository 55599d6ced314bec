#include "link/port_map.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace {

constexpr const char* kPinsHeader =
    "# COM numbers pinned to serial adapters by the QOR / QORW Utility:\n"
    "# COM<n> <TAB> stable device name <TAB> adapter\n";
constexpr const char* kAssignedHeader =
    "# COM numbers the QOR / QORW Utility gave to the serial adapters plugged in now, shared by\n"
    "# its windows and qorwctl: COM<n> <TAB> stable device name\n";
constexpr const char* kAssignedName = "/assigned";
constexpr const char* kLockName = "/.lock";
constexpr const char* kUartPrefix = "/dev/ttyS";
constexpr const char* kById = "/dev/serial/by-id/";

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// k of /dev/ttyS<k>; -1 for any other name.
int UartNumber(const std::string& devnode) {
    if (devnode.rfind(kUartPrefix, 0) != 0) return -1;
    std::string digits = devnode.substr(std::string(kUartPrefix).size());
    if (digits.size() > 3 || !AllDigits(digits)) return -1;
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

// Each %s of format in turn replaced by the next of args.
std::string Fill(const char* format, std::initializer_list<std::string> args) {
    std::string text;
    auto arg = args.begin();
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && arg != args.end()) {
            text += *arg++;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

// "COM<n> <TAB> name [<TAB> label]" with n exactly 1..32 (so COM1x is no COM1); false for any
// other line.
bool ParseLine(std::string line, int& com, std::string& name, std::string& label) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (line.rfind("COM", 0) != 0 || tab == std::string::npos) return false;
    std::string digits = line.substr(3, tab - 3);
    if (!AllDigits(digits) || digits[0] == '0' || digits.size() > 2) return false;
    com = std::stoi(digits);
    size_t tab2 = line.find('\t', tab + 1);
    name = line.substr(tab + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab - 1);
    label = tab2 == std::string::npos ? std::string() : line.substr(tab2 + 1);
    return com <= PortMap::kPortCount && !name.empty();
}

struct FileText {
    bool readable = true;  // absent counts as readable and empty
    std::string text, error;
};

FileText ReadText(const std::string& path) {
    FileText f;
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return f;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t n = fd < 0 ? -1 : 0;
    char buffer[4096];
    while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        f.text.append(buffer, static_cast<size_t>(n));
    if (n < 0) {
        f.readable = false;
        f.error = std::strerror(errno);
    }
    if (fd >= 0) ::close(fd);
    return f;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Written beside and renamed over (a link's target, not the link), so a reader never sees half
// a file.
bool WriteWhole(const std::string& path, const std::string& text) {
    std::string target = RealPath(path);
    if (target.empty()) target = path;
    std::string temp = target + "." + std::to_string(::getpid()) + ".new";
    bool ok;
    {
        std::ofstream out(temp, std::ios::trunc | std::ios::binary);
        ok = static_cast<bool>(out << text) && static_cast<bool>(out.flush());
    }
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

// One process at a time reads and rewrites the pins and the shared numbers: held while it lives.
class FolderLock {
public:
    explicit FolderLock(const std::string& dir) {
        if (dir.empty()) return;
        fd_ = ::open((dir + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// "1.2" of .../pci-0000:00:14.0-usb-0:1.2:1.0-port0: the socket's place on its bus; else the
// link's whole name.
std::string SocketOf(const std::string& byPath) {
    std::string name = BaseName(byPath);
    for (const char* bus : {"-usb-", "-usbv2-"}) {
        size_t at = name.find(bus);
        if (at == std::string::npos) continue;
        std::string rest = name.substr(at + std::strlen(bus));
        size_t first = rest.find(':'), second = rest.find(':', first + 1);
        if (first != std::string::npos && second != std::string::npos)
            return rest.substr(first + 1, second - first - 1);
    }
    return name;
}

// The name a pin or a kept number holds a present device by, and what the list calls it: the
// by-id name, unless another present device has the same (identical adapters without a serial
// number); then the USB socket.
struct Known {
    std::string name, label;
};

Known KnownAs(const std::vector<SerialDevice>& present, size_t i) {
    const SerialDevice& d = present[i];
    bool shared = !d.byId.empty() && std::count_if(present.begin(), present.end(),
                                                   [&](auto& o) { return o.byId == d.byId; }) > 1;
    if (!shared) return {d.StableName(), d.Label()};
    if (d.byPath.empty()) return {d.devnode, d.Label()};
    return {d.byPath, d.Label() + PortMap::kInSocket + SocketOf(d.byPath)};
}

}  // namespace

struct PortMap::PinsFile {
    bool readable = true;
    std::vector<std::string> lines;  // as they stand, to be written back
    std::vector<int> lineCom;        // the number a line pins, 0 for a line that pins nothing
    std::vector<std::string> lineName;
    Pins pins;
};

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

std::string AssignedPath(const std::string& pinsPath) {
    std::string dir = Folder(pinsPath);
    return dir.empty() ? std::string() : dir + kAssignedName;
}

void PortMap::Report(const std::string& problem) {
    if (std::find(reported_.begin(), reported_.end(), problem) != reported_.end()) return;
    reported_.push_back(problem);
    problems_.push_back(problem);
}

std::vector<std::string> PortMap::TakeProblems() {
    std::lock_guard lk(mu_);
    return std::exchange(problems_, {});
}

PortMap::PinsFile PortMap::ReadPins(const std::string& path) {
    PinsFile f;
    FileText file = ReadText(path);
    if (!file.readable) {
        Report(Fill(kPinsUnreadable, {path, file.error}));
        f.readable = false;
        return f;
    }
    f.lines = Lines(file.text);
    std::map<int, size_t> lineOfCom;
    std::map<std::string, std::pair<int, size_t>> lineOfName;
    for (size_t i = 0; i < f.lines.size(); ++i) {
        int com = 0;
        std::string name, label;
        std::string_view line = f.lines[i];
        bool quiet = line.empty() || line == "\r" || line[0] == '#';
        bool pin = !quiet && ParseLine(f.lines[i], com, name, label);
        f.lineCom.push_back(pin ? com : 0);
        f.lineName.push_back(name);
        std::string reason;
        if (quiet) continue;
        if (!pin) {
            reason = kNotAPin;
        } else if (auto taken = lineOfCom.find(com); taken != lineOfCom.end()) {
            reason = Fill(kNumberTaken, {std::to_string(com), std::to_string(taken->second)});
        } else if (auto held = lineOfName.find(name); held != lineOfName.end()) {
            reason = Fill(kNameTaken, {std::to_string(held->second.first),
                                       std::to_string(held->second.second)});
        } else {
            f.pins[com] = {name, label};
            lineOfCom[com] = i + 1;
            lineOfName[name] = {com, i + 1};
            continue;
        }
        Report(Fill(kPinLineUnused, {path, std::to_string(i + 1), reason}));
    }
    return f;
}

bool PortMap::WritePin(int com, const PinRecord& pin) {
    std::string path = PinsPath();
    if (!MakeDirs(Folder(path))) return false;
    FolderLock lock(Folder(path));
    PinsFile f = ReadPins(path);
    if (!f.readable) return false;
    // Every other line stays as it is; lines of this number or this adapter give way.
    std::string text = f.lines.empty() ? kPinsHeader : "";
    for (size_t i = 0; i < f.lines.size(); ++i) {
        if (f.lineCom[i] != 0 && (f.lineCom[i] == com || f.lineName[i] == pin.stableName)) continue;
        text += f.lines[i] + "\n";
    }
    text += "COM" + std::to_string(com) + '\t' + pin.stableName + '\t' + pin.label + '\n';
    return WriteWhole(path, text);
}

bool PortMap::Refresh() {
    return Refresh(FindSerialDevices());
}

bool PortMap::Refresh(const std::vector<SerialDevice>& present) {
    std::lock_guard lk(mu_);
    std::string pinsPath = PinsPath();
    std::string dir = Folder(pinsPath);
    bool shareable = MakeDirs(dir);
    FolderLock lock(shareable ? dir : std::string());
    Pins pins = ReadPins(pinsPath).pins;
    // The numbers every process gave: the file's first, then this process's own (where the file
    // cannot be kept, or another process does not see a device yet).
    std::map<std::string, int> shared;
    std::string assignedPath = AssignedPath(pinsPath);
    if (shareable) {
        for (const std::string& line : Lines(ReadText(assignedPath).text)) {
            int com = 0;
            std::string name, label;
            if (ParseLine(line, com, name, label)) shared[name] = com;
        }
    }

    std::vector<PortEntry> next;
    for (int com = 1; com <= kPortCount; ++com)
        next.push_back(Blank(com));
    std::vector<bool> claimed(present.size(), false);
    std::vector<Known> known;
    for (size_t i = 0; i < present.size(); ++i)
        known.push_back(KnownAs(present, i));

    // The present device a name means, one not claimed yet first: the name it is known by, its
    // kernel, by-id or by-path name, or a link to one of them.
    auto find = [&](const std::string& name) -> int {
        int found = -1;
        for (size_t i = 0; i < present.size(); ++i) {
            const SerialDevice& d = present[i];
            bool named =
                known[i].name == name || d.devnode == name || d.byId == name || d.byPath == name;
            if (named && (found < 0 || (claimed[static_cast<size_t>(found)] && !claimed[i])))
                found = static_cast<int>(i);
        }
        std::string real = found < 0 ? RealPath(name) : std::string();
        for (size_t i = 0; !real.empty() && found < 0 && i < present.size(); ++i) {
            if (present[i].devnode == real) found = static_cast<int>(i);
        }
        return found;
    };
    auto take = [&](PortEntry& e, PortSource source, size_t i) {
        claimed[i] = true;
        e.source = source;
        e.device = present[i].devnode;
        e.label = known[i].label;
        e.stableName = known[i].name;
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
    pinnedNames_.clear();
    for (const auto& [com, pin] : pins) {
        pinnedNames_[com] = pin.stableName;
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
    for (const auto* numbers : {&shared, &automatic_}) {
        for (size_t i = 0; i < present.size(); ++i) {
            auto kept = numbers->find(known[i].name);
            if (claimed[i] || kept == numbers->end()) continue;
            PortEntry& e = next[static_cast<size_t>(kept->second - 1)];
            if (e.source == PortSource::None) take(e, PortSource::Automatic, i);
        }
    }
    std::vector<size_t> rest;
    for (size_t i = 0; i < present.size(); ++i) {
        if (!claimed[i]) rest.push_back(i);
    }
    std::stable_sort(rest.begin(), rest.end(), [&](size_t a, size_t b) {
        const SerialDevice &x = present[a], &y = present[b];
        if (x.byId.empty() != y.byId.empty()) return !x.byId.empty();
        return NaturalLess(known[a].name, known[b].name);
    });
    auto freeEntry = next.begin();
    for (size_t i : rest) {
        freeEntry = std::find_if(freeEntry, next.end(),
                                 [](const PortEntry& e) { return e.source == PortSource::None; });
        if (freeEntry == next.end()) break;
        take(*freeEntry, PortSource::Automatic, i);
    }

    automatic_.clear();
    std::string text = kAssignedHeader;
    for (const PortEntry& e : next) {
        if (e.source != PortSource::Automatic) continue;
        automatic_[e.stableName] = e.com;
        text += "COM" + std::to_string(e.com) + '\t' + e.stableName + '\n';
    }
    if (shareable && automatic_ != shared) WriteWhole(assignedPath, text);
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
    // A pin by a by-id name that two adapters share now is made anew by the socket.
    bool renamed = e.present && pinnedNames_[com] != e.stableName;
    if (e.source == PortSource::Pinned && !renamed) return true;
    if (e.source == PortSource::None || e.source == PortSource::Override ||
        !WritePin(com, {e.stableName, e.label}))
        return false;
    e.source = PortSource::Pinned;
    pinnedNames_[com] = e.stableName;
    automatic_.erase(e.stableName);
    return true;
}

int PortMap::PinToFreeNumber(const std::string& device) {
    std::vector<SerialDevice> present;
    int com = 0;
    {
        std::lock_guard lk(mu_);
        auto it = std::find_if(present_.begin(), present_.end(), [&](const SerialDevice& d) {
            return SameDevice(d.devnode, device);
        });
        if (it == present_.end()) return 0;
        for (const PortEntry& e : entries_) {
            if (e.source == PortSource::None) {
                com = e.com;
                break;
            }
        }
        for (auto e = entries_.rbegin(); com == 0 && e != entries_.rend(); ++e) {
            if (e->source == PortSource::Automatic) com = e->com;
        }
        Known k = KnownAs(present_, static_cast<size_t>(it - present_.begin()));
        if (com == 0 || !WritePin(com, {k.name, k.label})) return 0;
        present = present_;
    }
    Refresh(present);
    return com;
}

std::string PortMap::Resolve(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    {
        std::lock_guard lk(mu_);
        for (const SerialDevice& d : present_) {
            if (!d.byId.empty() && BaseName(d.byId) == name) return d.byId;
            if (!d.byPath.empty() && BaseName(d.byPath) == name) return d.byPath;
        }
        for (const SerialDevice& d : present_) {
            if (BaseName(d.devnode) == name) return d.devnode;
        }
    }
    std::string byId = kById + name;
    return ::access(byId.c_str(), F_OK) == 0 ? byId : std::string();
}
