#pragma once

#include <functional>
#include <string>
#include <vector>

// A serial device present on this machine and what tells a person which adapter it is.
struct SerialDevice {
    std::string devnode;       // kernel name: /dev/ttyUSB0, /dev/ttyS0, /dev/pts/3
    std::string byId;          // stable name under /dev/serial/by-id, empty when there is none
    std::string manufacturer;  // from the adapter's USB descriptors, where it has them
    std::string product;
    std::string serial;
    std::string driver;  // ftdi_sio, cp210x, ch341, pl2303, cdc_acm, serial8250, ...
    // The socket the adapter is plugged into, under /dev/serial/by-path; empty when none. Two
    // identical adapters without a serial number share one by-id name but never a socket.
    std::string byPath = {};

    // What a person knows the adapter by: "FT232R USB UART (A10K5XYZ)", else "Built-in serial
    // port" for a UART, else the driver, else the kernel name.
    std::string Label() const;
    // The name that still means this adapter after re-plugging: byId, else devnode.
    const std::string& StableName() const { return byId.empty() ? devnode : byId; }

    bool operator==(const SerialDevice&) const = default;
};

// Every serial port present now, in a stable order (kernel names, numbers by value). Found
// through libudev: udev's database where udev runs, the kernel's sysfs attributes elsewhere;
// ttyS ports only where a UART is behind them.
std::vector<SerialDevice> FindSerialDevices();

// Stands in for the system's devices: FindSerialDevices returns what source returns, and
// SerialDeviceMonitor watches nothing. An empty function gives the system's devices back.
// Text order with runs of digits compared by value: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

using SerialDeviceSource = std::function<std::vector<SerialDevice>()>;
void SetSerialDeviceSource(SerialDeviceSource source);

// Tells when serial devices come and go, through udev's monitor.
class SerialDeviceMonitor {
public:
    SerialDeviceMonitor();
    ~SerialDeviceMonitor();
    SerialDeviceMonitor(const SerialDeviceMonitor&) = delete;
    SerialDeviceMonitor& operator=(const SerialDeviceMonitor&) = delete;

    // Readable when a tty device was added or removed; -1 where udev does not run or a test
    // source stands in: the caller then looks at FindSerialDevices now and then.
    int Fd() const;
    // Takes the waiting events; true when any of them added or removed a device.
    bool Drain();

private:
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

// The path a name finally leads to, links followed; empty when it leads nowhere.
std::string RealPath(const std::string& path);
// Two names of one device (a by-id link and its kernel name, say).
bool SameDevice(const std::string& a, const std::string& b);
