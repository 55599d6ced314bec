#include "link/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        TempDir own;
        PortMap fresh(own.File("ports"));
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

// Two identical adapters without a serial number share one by-id name: each is known by its USB
// socket, so a pin stays with the socket whichever kernel name the adapter gets.
TEST_F(PortMapTest, IdenticalAdaptersArePinnedByTheirSockets) {
    const std::string byId = "usb-1a86_USB_Serial-if00-port0";
    auto ch340 = [&](const char* devnode, const char* socket) {
        return UsbPort(devnode, byId, "USB Serial", "", "ch341",
                       std::string("pci-0000:00:14.0-usb-0:") + socket + ":1.0-port0");
    };
    map.Refresh({ch340("/dev/ttyUSB0", "1.1"), ch340("/dev/ttyUSB1", "1.2")});
    EXPECT_EQ(map.Entry(1).Text(), "COM1  USB Serial in USB socket 1.1  /dev/ttyUSB0");
    ASSERT_TRUE(map.Pin(2));

    for (auto present : {std::vector{ch340("/dev/ttyUSB0", "1.1"), ch340("/dev/ttyUSB1", "1.2")},
                         std::vector{ch340("/dev/ttyUSB0", "1.2"), ch340("/dev/ttyUSB1", "1.1")}}) {
        PortMap next(map.PinsPath());
        next.Refresh(present);
        EXPECT_EQ(next.Entry(2).source, PortSource::Pinned);
        EXPECT_EQ(next.DeviceFor(2), present[0].byPath.find("1.2") != std::string::npos
                                         ? present[0].devnode
                                         : present[1].devnode);
    }
    // Alone, the adapter goes by its by-id name again; its pin still finds it by its socket.
    PortMap alone(map.PinsPath());
    alone.Refresh({ch340("/dev/ttyUSB0", "1.2")});
    EXPECT_EQ(alone.Entry(2).device, "/dev/ttyUSB0");

    // A pin made by the shared name before the second adapter came is made anew by the socket.
    std::ofstream(map.PinsPath()) << "COM3\t/dev/serial/by-id/" << byId << "\tUSB Serial\n";
    map.Refresh({ch340("/dev/ttyUSB0", "1.1"), ch340("/dev/ttyUSB1", "1.2")});
    ASSERT_TRUE(map.Pin(3));
    EXPECT_EQ(ReadFileBytes(map.PinsPath()),
              "COM3\t/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.1:1.0-port0\tUSB Serial in USB "
              "socket 1.1\n");
}

// The pins file is the user's: lines the map cannot use stay in it and are told once, and a file
// that cannot be read is never written over.
TEST_F(PortMapTest, ThePinsFileKeepsWhatItCannotUse) {
    const std::string path = map.PinsPath();
    const std::string original = "# my adapters\nCOM1x\t" + kCp.byId + "\tCP\nCOM3\t" + kFtdi.byId +
                                 "\tFT\nCOM4\t" + kFtdi.byId + "\tFT\nsomething else\n";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << original;
    map.Refresh({kFtdi, kCp});
    EXPECT_EQ(map.Entry(3).Text(), "COM3  FT232R USB UART (A10K5XYZ)  /dev/ttyUSB0");
    EXPECT_EQ(map.Entry(4).Text(), "COM4");  // not "not plugged in": the adapter is at COM3
    EXPECT_EQ(map.Entry(1).source, PortSource::Automatic);  // COM1x is no COM1
    EXPECT_EQ(map.TakeProblems(),
              (std::vector<std::string>{
                  path + ", line 2: not a pin (COM1 to COM32, a tab, the device's name); the line "
                         "is kept, not used.",
                  path + ", line 4: that adapter is pinned to COM3 on line 3 already; the line is "
                         "kept, not used.",
                  path + ", line 5: not a pin (COM1 to COM32, a tab, the device's name); the line "
                         "is kept, not used."}));
    map.Refresh({kFtdi, kCp});
    EXPECT_TRUE(map.TakeProblems().empty());

    ASSERT_TRUE(map.Pin(1));
    EXPECT_EQ(ReadFileBytes(path),
              original + "COM1\t" + kCp.byId + "\tCP2102 USB to UART Bridge Controller (0001)\n");

    // A pins file on a drive not mounted now.
    std::filesystem::remove(path);
    std::filesystem::create_symlink(dir.File("absent/ports"), path);
    map.Refresh({kFtdi, kCp});
    EXPECT_FALSE(map.Pin(2));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(
        map.TakeProblems(),
        std::vector<std::string>{path + " cannot be read (No such file or directory): its pins "
                                        "are not used, and no pin is written over it."});
}

// The window and qorwctl are two processes with a map each: a number given automatically is the
// same in both, and after a restart of either, while the adapter stays plugged in.
TEST_F(PortMapTest, NumbersGivenAutomaticallyAreSharedBetweenProcesses) {
    map.Refresh({kCp});
    map.Refresh({kCp, kFtdi});
    map.Refresh({kFtdi});
    ASSERT_EQ(map.Entry(2).device, "/dev/ttyUSB0");
    PortMap ctl(map.PinsPath());
    ctl.Refresh({kFtdi});
    EXPECT_EQ(ctl.Entry(2).device, "/dev/ttyUSB0");
    EXPECT_EQ(ctl.Entry(1).source, PortSource::None);
    PortMap restarted(map.PinsPath());
    restarted.Refresh({kFtdi, kCp});
    EXPECT_EQ(Numbers(restarted),
              (std::map<int, std::string>{{1, "/dev/ttyUSB1"}, {2, "/dev/ttyUSB0"}}));
    // Unplugged, the adapter drops out: plugged in again alone, it takes the lowest number.
    restarted.Refresh({});
    PortMap later(map.PinsPath());
    later.Refresh({kFtdi});
    EXPECT_EQ(later.Entry(1).device, "/dev/ttyUSB0");
}

TEST_F(PortMapTest, APinnedAdapterKeepsItsNumberBesideUarts) {
    struct {
        int pin;
        std::vector<SerialDevice> present;
        std::map<int, std::string> numbers;
    } cases[] = {
        {1, {kUart, kFtdi}, {{1, "/dev/ttyUSB0"}, {2, "/dev/ttyS0"}}},
        {3, {kUart2, kFtdi, kUart}, {{1, "/dev/ttyS0"}, {2, "/dev/ttyS2"}, {3, "/dev/ttyUSB0"}}},
    };
    for (const auto& c : cases) {
        TempDir own;
        std::ofstream(own.File("ports")) << "COM" << c.pin << '\t' << kFtdi.byId << "\tFT\n";
        PortMap next(own.File("ports"));
        next.Refresh(c.present);
        EXPECT_EQ(Numbers(next), c.numbers) << c.pin;
        EXPECT_EQ(next.Entry(c.pin).source, PortSource::Pinned);
    }
}

// More adapters than numbers: one found by the scan is pinned where it can be.
TEST_F(PortMapTest, ADeviceWithoutANumberIsPinnedToAFreeOne) {
    std::vector<SerialDevice> present;
    for (int i = 0; i <= PortMap::kPortCount; ++i)
        present.push_back(UsbPort("/dev/ttyUSB" + std::to_string(i), "", "", ""));
    map.Refresh(present);
    EXPECT_EQ(map.PinToFreeNumber("/dev/nonexistent"), 0);
    EXPECT_EQ(map.PinToFreeNumber("/dev/ttyUSB32"), PortMap::kPortCount);
    EXPECT_EQ(map.Entry(PortMap::kPortCount).device, "/dev/ttyUSB32");
    EXPECT_EQ(map.Entry(PortMap::kPortCount).source, PortSource::Pinned);
}

}  // namespace
