// Serial devices present on this machine, through libudev.
#include "link/serial_devices.h"

#include <dirent.h>
#include <libudev.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace {

constexpr const char* kById = "/dev/serial/by-id/";
constexpr const char* kByPath = "/dev/serial/by-path/";

// libudev keeps process-wide state of its own (the seed of its hash tables, set on first
// use) without a lock: its calls from the provisioning workers, the window and the monitor go
// one at a time.
std::mutex& UdevMutex() {
    static std::mutex mu;
    return mu;
}

std::mutex& SourceMutex() {
    static std::mutex mu;
    return mu;
}

SerialDeviceSource& Source() {
    static SerialDeviceSource source;
    return source;
}

bool HasSource() {
    std::lock_guard lk(SourceMutex());
    return static_cast<bool>(Source());
}

std::string Text(const char* s) {
    return s ? s : "";
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Where udev keeps no database its links are missing too, but a link may still have been made
// by hand or by an earlier udev: the first one in folder that leads to devnode.
std::string LinkTo(const char* folder, const std::string& devnode) {
    std::string found;
    if (DIR* dir = ::opendir(folder)) {
        while (dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            std::string link = std::string(folder) + e->d_name;
            if (RealPath(link) == devnode && (found.empty() || link < found)) found = link;
        }
        ::closedir(dir);
    }
    return found;
}

// The first driver on the way from the tty up: ftdi_sio on the usb-serial port, cdc_acm on the
// interface, serial8250 or serial on a UART's platform or PNP device.
std::string DriverOf(udev_device* dev) {
    for (udev_device* d = udev_device_get_parent(dev); d; d = udev_device_get_parent(d)) {
        if (const char* driver = udev_device_get_driver(d)) return driver;
    }
    return {};
}

// A sysfs attribute of the USB device, else what udev's hardware database says.
std::string UsbText(udev_device* dev, udev_device* usb, const char* attribute,
                    const char* property) {
    std::string text = Text(udev_device_get_sysattr_value(usb, attribute));
    if (text.empty()) text = Text(udev_device_get_property_value(dev, property));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::vector<SerialDevice> Enumerate() {
    std::vector<SerialDevice> found;
    std::unique_ptr<udev, decltype(&udev_unref)> u(udev_new(), udev_unref);
    if (!u) return found;
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> e(udev_enumerate_new(u.get()),
                                                                       udev_enumerate_unref);
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return found;
    }
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        // Consoles, virtual terminals and ptmx hang under no device: no port is behind them.
        // Most ttys are such; passing them by name spares reading them.
        std::string syspath = udev_list_entry_get_name(entry);
        if (StartsWith(syspath, "/sys/devices/virtual/")) continue;
        std::unique_ptr<udev_device, decltype(&udev_device_unref)> dev(
            udev_device_new_from_syspath(u.get(), syspath.c_str()), udev_device_unref);
        if (!dev || !udev_device_get_parent(dev.get())) continue;
        std::string devnode = Text(udev_device_get_devnode(dev.get()));
        if (devnode.empty()) continue;
        std::string name = Text(udev_device_get_sysname(dev.get()));
        // The kernel registers ttyS ports whether or not a UART answers; type 0 says none.
        if (StartsWith(name, "ttyS")) {
            std::string type = Text(udev_device_get_sysattr_value(dev.get(), "type"));
            if (type.empty() || type == "0") continue;
        }
        SerialDevice d;
        d.devnode = devnode;
        udev_list_entry* link;
        udev_list_entry_foreach(link, udev_device_get_devlinks_list_entry(dev.get())) {
            std::string path = udev_list_entry_get_name(link);
            if (StartsWith(path, kById) && (d.byId.empty() || path < d.byId)) d.byId = path;
            if (StartsWith(path, kByPath) && (d.byPath.empty() || path < d.byPath)) d.byPath = path;
        }
        if (d.byId.empty()) d.byId = LinkTo(kById, devnode);
        if (d.byPath.empty()) d.byPath = LinkTo(kByPath, devnode);
        d.driver = DriverOf(dev.get());
        if (udev_device* usb =
                udev_device_get_parent_with_subsystem_devtype(dev.get(), "usb", "usb_device")) {
            d.manufacturer = UsbText(dev.get(), usb, "manufacturer", "ID_VENDOR_FROM_DATABASE");
            d.product = UsbText(dev.get(), usb, "product", "ID_MODEL_FROM_DATABASE");
            d.serial = UsbText(dev.get(), usb, "serial", "ID_SERIAL_SHORT");
        }
        found.push_back(std::move(d));
    }
    return found;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t i0 = i, j0 = j;
            while (i < a.size() && digit(a[i]))
                ++i;
            while (j < b.size() && digit(b[j]))
                ++j;
            std::string x = a.substr(i0, i - i0), y = b.substr(j0, j - j0);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string SerialDevice::Label() const {
    if (!product.empty()) return serial.empty() ? product : product + " (" + serial + ")";
    if (StartsWith(devnode, "/dev/ttyS")) return "Built-in serial port";
    if (!driver.empty()) return driver;
    return devnode;
}

void SetSerialDeviceSource(SerialDeviceSource source) {
    std::lock_guard lk(SourceMutex());
    Source() = std::move(source);
}

std::vector<SerialDevice> FindSerialDevices() {
    SerialDeviceSource source;
    {
        std::lock_guard lk(SourceMutex());
        source = Source();
    }
    std::vector<SerialDevice> found;
    if (source) {
        found = source();
    } else {
        std::lock_guard lk(UdevMutex());
        found = Enumerate();
    }
    std::stable_sort(found.begin(), found.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return NaturalLess(a.devnode, b.devnode);
    });
    return found;
}

SerialDeviceMonitor::SerialDeviceMonitor() {
    if (HasSource()) return;
    std::lock_guard lk(UdevMutex());
    udev_ = udev_new();
    if (!udev_) return;
    // Only udev's own events carry the by-id links and the adapters' names; where no udev runs
    // there are none to hear.
    if (udev_queue* queue = udev_queue_new(udev_)) {
        bool active = udev_queue_get_udev_is_active(queue) > 0;
        udev_queue_unref(queue);
        if (!active) return;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

SerialDeviceMonitor::~SerialDeviceMonitor() {
    std::lock_guard lk(UdevMutex());
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

int SerialDeviceMonitor::Fd() const {
    return monitor_ ? udev_monitor_get_fd(monitor_) : -1;
}

bool SerialDeviceMonitor::Drain() {
    bool changed = false;
    if (!monitor_) return false;
    std::lock_guard lk(UdevMutex());
    while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
        std::string action = Text(udev_device_get_action(dev));
        if (action == "add" || action == "remove" || action == "change") changed = true;
        udev_device_unref(dev);
    }
    return changed;
}

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string result = resolved;
    ::free(resolved);
    return result;
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::string ra = RealPath(a), rb = RealPath(b);
    return !ra.empty() && ra == rb;
}
