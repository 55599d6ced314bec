// Serial devices present on this machine.
#include "link/serial_devices.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>

std::string SerialDevice::Label() const {
    if (!product.empty()) return serial.empty() ? product : product + " (" + serial + ")";
    if (!driver.empty()) return driver;
    return devnode;
}

std::vector<SerialDevice> FindSerialDevices() {
    std::vector<SerialDevice> found;
    if (DIR* dir = ::opendir("/dev")) {
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
                found.push_back({"/dev/" + name, {}, {}, {}, {}, {}});
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.devnode < b.devnode; });
    return found;
}
