#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_devices.h"

// How a COM number came to its device.
enum class PortSource { None, Override, Pinned, Automatic };

// What one COM number means now.
struct PortEntry {
    int com = 0;
    PortSource source = PortSource::None;
    std::string device;      // what opening COM<com> opens; empty when nothing is behind it
    std::string label;       // the adapter as a person knows it; empty when not known
    std::string stableName;  // the name a pin keeps (by-id, else the kernel name)
    bool present = false;    // plugged in (an override: its path exists)

    // "COM1  FT232R USB UART (A10K5XYZ)  /dev/ttyUSB0", "COM3  FT232R USB UART (A10K5XYZ)  not
    // plugged in", or just "COM5".
    std::string Text() const;
    bool operator==(const PortEntry&) const = default;
};

// Turns COM numbers into devices. In this order:
//  1. QORW_COM<n>, when set, is the device of COM<n> (for scripts and tests);
//  2. a pin from the per-user pins file keeps COM<n> for one adapter by its stable name, plugged
//     in or not;
//  3. a UART /dev/ttyS<k> keeps its classic number COM<k+1>;
//  4. a port that already had a number keeps it for as long as it stays plugged in;
//  5. the other ports take the lowest free numbers: those with a by-id name first, by that name,
//     then the rest by kernel name.
// An adapter's stable name is its by-id name; where two present adapters share one (identical
// adapters without a serial number), each is known by its USB socket (by-path) instead.
// The numbers of step 4 are kept in a small file beside the pins that every process of the
// utility reads and rewrites under a lock, so the window and qorwctl agree at any moment and
// after a restart of either; adapters no longer present drop out of it.
class PortMap {
public:
    static constexpr int kPortCount = 32;
    static constexpr const char* kNotPluggedIn = "not plugged in";
    static constexpr const char* kInSocket = " in USB socket ";
    // A pins file that exists but cannot be read is neither used nor written over.
    static constexpr const char* kPinsUnreadable =
        "%s cannot be read (%s): its pins are not used, and no pin is written over it.";
    // A line of the pins file that cannot be used stays in the file as it is.
    static constexpr const char* kPinLineUnused = "%s, line %s: %s; the line is kept, not used.";
    static constexpr const char* kNotAPin = "not a pin (COM1 to COM32, a tab, the device's name)";
    static constexpr const char* kNumberTaken = "COM%s is pinned on line %s already";
    static constexpr const char* kNameTaken = "that adapter is pinned to COM%s on line %s already";

    // pinsPath: the pins file; empty: DefaultPinsPath(), looked up at each refresh. The shared
    // numbers live beside it.
    explicit PortMap(std::string pinsPath = {});

    // Looks at the devices, the pins and the QORW_COM<n> variables anew; true when any entry
    // changed.
    bool Refresh();
    bool Refresh(const std::vector<SerialDevice>& present);

    PortEntry Entry(int com) const;
    // The device COM<com> opens: its entry's, else /dev/ttyS<com-1> as COM numbers always meant.
    std::string DeviceFor(int com) const;
    // Pins com to the adapter now behind it (a pin it had elsewhere goes); false when there is
    // no adapter to pin or the pin could not be kept.
    bool Pin(int com);
    // Pins a present device that has no COM number (there are more than kPortCount) to the
    // lowest number with nothing behind it, else to the highest one given automatically (its
    // adapter then has none). Returns the number, 0 when the device is not a present serial
    // port or the pin could not be kept.
    int PinToFreeNumber(const std::string& device);
    // A device named on a command line: a path as it is; a by-id, by-path or kernel name
    // (ttyUSB0) of a device present, or a name under /dev/serial/by-id; empty when nothing has
    // that name.
    std::string Resolve(const std::string& name) const;
    std::string PinsPath() const;
    // What could not be used of the pins file since the last call, each told once.
    std::vector<std::string> TakeProblems();

private:
    struct PinRecord {
        std::string stableName;
        std::string label;
    };
    using Pins = std::map<int, PinRecord>;
    struct PinsFile;
    PinsFile ReadPins(const std::string& path);
    bool WritePin(int com, const PinRecord& pin);
    void Report(const std::string& problem);

    std::string pinsPath_;
    mutable std::mutex mu_;
    std::vector<PortEntry> entries_;
    std::vector<SerialDevice> present_;
    std::map<std::string, int> automatic_;    // stable name -> COM number, while plugged in
    std::map<int, std::string> pinnedNames_;  // COM number -> the name the pins file holds
    std::vector<std::string> reported_, problems_;
};

// $XDG_CONFIG_HOME/qorwutil/ports, else ~/.config/qorwutil/ports; empty without either.
std::string DefaultPinsPath();
// The numbers given automatically, shared by every process: beside the pins file.
std::string AssignedPath(const std::string& pinsPath);

// The program's mapping: DeviceForPort, the Utility Settings page and qorwctl ask this one.
PortMap& ProgramPortMap();
