#pragma once

#include <string>
#include <vector>

// A serial device present on this machine and the COM numbers that open it.
struct SerialPortEntry {
    std::string device;         // as found: /dev/serial/by-id/..., /dev/ttyUSB0, ...
    std::string target;         // the device a by-id name leads to; empty for the others
    std::vector<int> comNumbers;  // 1..32 whose device (QORW_COMn or /dev/ttyS<n-1>) is this one
};

// /dev/serial/by-id names first, then ttyUSB*, ttyACM* and ttyS* (those the kernel knows a
// port behind) in number order, then devices named only by a QORW_COMn variable.
std::vector<SerialPortEntry> ListSerialPorts();

// "device<TAB>COM1,COM3" or "device<TAB>-", and "<TAB>-> target" for a by-id name.
std::string PortLine(const SerialPortEntry& entry);
