#include "link/serial_devices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "support/port_test_tree.h"

namespace {

TEST(SerialDevice, LabelAndStableName) {
    struct {
        SerialDevice device;
        std::string label, stable;
    } cases[] = {
        {UsbPort("/dev/ttyUSB0", "usb-FTDI-if00", "FT232R USB UART", "A10K5XYZ"),
         "FT232R USB UART (A10K5XYZ)", "/dev/serial/by-id/usb-FTDI-if00"},
        {UsbPort("/dev/ttyUSB1", "", "USB-Serial Controller", ""), "USB-Serial Controller",
         "/dev/ttyUSB1"},
        {{"/dev/ttyS0", "", "", "", "", "serial8250"}, "Built-in serial port", "/dev/ttyS0"},
        {{"/dev/ttyACM0", "", "", "", "", "cdc_acm"}, "cdc_acm", "/dev/ttyACM0"},
        {{"/dev/pts/3", "", "", "", "", ""}, "/dev/pts/3", "/dev/pts/3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.device.Label(), c.label);
        EXPECT_EQ(c.device.StableName(), c.stable);
    }
}

TEST(SerialDevice, NaturalOrderComparesNumbersByValue) {
    std::vector<std::string> names = {"/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyUSB2",
                                      "/dev/ttyUSB02x", "/dev/ttyUSB1"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyUSB2",
                                               "/dev/ttyUSB02x", "/dev/ttyUSB10"}));
}

TEST(FindSerialDevices, TheSeamStandsInForTheSystem) {
    ResetTestPorts({{"/dev/ttyUSB10", "", "", "", "", ""}, {"/dev/ttyUSB9", "", "", "", "", ""}});
    std::vector<SerialDevice> found = FindSerialDevices();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].devnode, "/dev/ttyUSB9");
    SerialDeviceMonitor monitor;
    EXPECT_EQ(monitor.Fd(), -1);
    ResetTestPorts();
}

// Whatever this machine has: real device nodes, and no ttyS without a UART behind it.
TEST(FindSerialDevices, FindsOnlyPortsWithHardwareBehindThem) {
    SystemPorts system;
    std::vector<SerialDevice> found = FindSerialDevices();
    for (const SerialDevice& d : found) {
        struct stat st {};
        EXPECT_EQ(stat(d.devnode.c_str(), &st), 0) << d.devnode;
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << d.devnode;
        std::string name = d.devnode.substr(d.devnode.rfind('/') + 1);
        if (name.rfind("ttyS", 0) == 0) {
            int type = -1;
            std::ifstream("/sys/class/tty/" + name + "/type") >> type;
            EXPECT_NE(type, 0) << name;
        }
    }
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(),
                               [](auto& a, auto& b) { return NaturalLess(a.devnode, b.devnode); }));
}

}  // namespace
