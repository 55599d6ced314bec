#include "link/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "files/temp_dir.h"
#include "support/port_test_tree.h"

namespace {

const SerialDevice kUart{"/dev/ttyS0", "", "", "", "", "serial8250"};
const SerialDevice kUart2{"/dev/ttyS2", "", "", "", "", "serial8250"};
const SerialDevice kFtdi = UsbPort("/dev/ttyUSB0", "usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0",
                                   "FT232R USB UART", "A10K5XYZ");
const SerialDevice kCp =
    UsbPort("/dev/ttyUSB1", "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
            "CP2102 USB to UART Bridge Controller", "0001", "cp210x");
const SerialDevice kAcm{"/dev/ttyACM0", "", "", "", "", "cdc_acm"};

// The device each numbered COM port opens.
std::map<int, std::string> Numbers(const PortMap& map) {
    std::map<int, std::string> numbers;
    for (int com = 1; com <= PortMap::kPortCount; ++com) {
        PortEntry e = map.Entry(com);
        if (e.source != PortSource::None) numbers[com] = e.device;
    }
    return numbers;
}

class PortMapTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTestPorts(); }
    TempDir dir;
    PortMap map{dir.File("qorwutil/ports")};
};

TEST_F(PortMapTest, PresentPortsTakeNumbersInTheDocumentedOrder) {
    struct {
        std::vector<SerialDevice> present;
        std::map<int, std::string> numbers;
    } cases[] = {
        {{kFtdi}, {{1, "/dev/ttyUSB0"}}},
        // UARTs at their classic numbers, then by-id names in order, then kernel names.
        {{kAcm, kCp, kFtdi, kUart},
         {{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0"}, {3, "/dev/ttyUSB1"}, {4, "/dev/ttyACM0"}}},
        {{kUart2, kCp}, {{1, "/dev/ttyUSB1"}, {3, "/dev/ttyS2"}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        PortMap fresh(dir.File("none"));
        fresh.Refresh(c.present);
        EXPECT_EQ(Numbers(fresh), c.numbers) << c.present.size();
    }
    EXPECT_EQ(map.DeviceFor(5), "/dev/ttyS4");  // nothing behind it: the classic name
}

TEST_F(PortMapTest, APortKeepsItsNumberWhileOthersComeAndGo) {
    EXPECT_TRUE(map.Refresh({kCp}));
    EXPECT_FALSE(map.Refresh({kCp}));
    map.Refresh({kCp, kFtdi});  // sorts before kCp, yet does not push it out of COM1
    EXPECT_EQ(Numbers(map), (std::map<int, std::string>{{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB0"}}));
    map.Refresh({kFtdi});
    EXPECT_EQ(Numbers(map), (std::map<int, std::string>{{2, "/dev/ttyUSB0"}}));
    EXPECT_EQ(map.Entry(1).Text(), "COM1");
    map.Refresh({kFtdi, kAcm});  // the lowest free number
    EXPECT_EQ(Numbers(map), (std::map<int, std::string>{{1, "/dev/ttyACM0"}, {2, "/dev/ttyUSB0"}}));
}

TEST_F(PortMapTest, APinKeepsTheAdapterAcrossSocketsAndRuns) {
    map.Refresh({kFtdi, kCp});
    EXPECT_FALSE(map.Pin(3));  // nothing to pin
    ASSERT_TRUE(map.Pin(2));
    EXPECT_NE(ReadFileBytes(dir.File("qorwutil/ports"))
                  .find("COM2\t" + kCp.byId + "\tCP2102 USB to UART Bridge Controller (0001)\n"),
              std::string::npos);

    // Another run, the adapter in another socket, and a newcomer that sorts first.
    SerialDevice moved = kCp;
    moved.devnode = "/dev/ttyUSB3";
    SerialDevice newcomer = UsbPort("/dev/ttyUSB4", "usb-0000", "Early", "1");
    PortMap next(map.PinsPath());
    next.Refresh({newcomer, moved});
    EXPECT_EQ(next.Entry(2).source, PortSource::Pinned);
    EXPECT_EQ(next.Entry(2).Text(),
              "COM2  CP2102 USB to UART Bridge Controller (0001)  /dev/ttyUSB3");
    EXPECT_EQ(next.Entry(1).device, "/dev/ttyUSB4");

    // Unplugged: the number stays the adapter's.
    next.Refresh({newcomer, kFtdi});
    EXPECT_EQ(next.Entry(2).Text(),
              "COM2  CP2102 USB to UART Bridge Controller (0001)  not plugged in");
    EXPECT_EQ(next.DeviceFor(2), kCp.byId);
    EXPECT_EQ(next.Entry(3).device, "/dev/ttyUSB0");
}

TEST_F(PortMapTest, TheEnvironmentOverridesEverything) {
    setenv("QORW_COM1", kFtdi.byId.c_str(), 1);
    setenv("QORW_COM4", "/nonexistent/tty", 1);
    map.Refresh({kFtdi, kUart});
    PortEntry first = map.Entry(1);
    EXPECT_EQ(first.source, PortSource::Override);
    EXPECT_EQ(first.device, kFtdi.byId);
    EXPECT_EQ(first.label, "FT232R USB UART (A10K5XYZ)");
    EXPECT_FALSE(map.Pin(1));
    // The UART's own number is taken: it goes to the lowest free one, the adapter to none.
    EXPECT_EQ(map.Entry(2).device, "/dev/ttyS0");
    EXPECT_EQ(map.Entry(3).source, PortSource::None);
    EXPECT_EQ(map.Entry(4).Text(), "COM4  /nonexistent/tty  not plugged in");
    EXPECT_EQ(map.DeviceFor(4), "/nonexistent/tty");
    unsetenv("QORW_COM1");
    unsetenv("QORW_COM4");
}

TEST_F(PortMapTest, ResolvesNamesGivenOnACommandLine) {
    map.Refresh({kFtdi, kAcm});
    EXPECT_EQ(map.Resolve("usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0"), kFtdi.byId);
    EXPECT_EQ(map.Resolve("ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(map.Resolve("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(map.Resolve("usb-nothing-if00"), "");
}

}  // namespace
