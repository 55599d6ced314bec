#pragma once

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

    // What a person knows the adapter by: "FT232R USB UART (A10K5XYZ)", else the driver, else
    // the kernel name.
    std::string Label() const;
    // The name that still means this adapter after re-plugging: byId, else devnode.
    const std::string& StableName() const { return byId.empty() ? devnode : byId; }
};

// Every serial port present now, in a stable order.
std::vector<SerialDevice> FindSerialDevices();
