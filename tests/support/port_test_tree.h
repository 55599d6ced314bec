#pragma once

#include <string>
#include <vector>

#include "link/serial_devices.h"

// For the whole test program the system's serial devices are replaced by a test tree (empty
// unless a test fills it) and the per-user pins live in a folder of the run's own, so that
// neither the machine's adapters nor its user's pins reach a test.

// The devices present from now on, as if plugged in or out.
void SetTestPorts(std::vector<SerialDevice> devices);
// A fresh machine with these devices: no QORW_COM<n>, no pins, no numbers remembered.
void ResetTestPorts(std::vector<SerialDevice> devices = {});
// A USB adapter as udev describes one, in the socket socketName names under by-path.
SerialDevice UsbPort(const std::string& devnode, const std::string& byIdName,
                     const std::string& product, const std::string& serial,
                     const std::string& driver = "ftdi_sio", const std::string& socketName = {});
// The run's pins file.
std::string TestPinsPath();
// The system's own devices (libudev) for as long as it lives.
class SystemPorts {
public:
    SystemPorts();
    ~SystemPorts();
};
