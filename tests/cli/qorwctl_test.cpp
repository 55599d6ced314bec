// qorwctl as a script runs it: the built program in a folder of its own, against the simulated
// module on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "files/temp_dir.h"
#include "link/port_map.h"
#include "qorsim/sim_module.h"
#include "support/qorwctl_process.h"
#include "support/port_test_tree.h"


namespace {

constexpr const char* kProgram = QOR_BINARY_DIR "/qorwctl";
constexpr int kAddrBlockKey = 0xFA;

struct CtlRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs qorwctl in dir with args, to its end (or its deadline).
CtlRun RunCtl(const TempDir& dir, const std::vector<std::string>& args,
              std::map<std::string, std::string> env = {}) {
    QorwctlProcess process(dir, args, std::move(env));
    CtlRun run;
    run.status = process.Wait(std::chrono::seconds(60));
    run.out = process.Out();
    run.err = process.Err();
    return run;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A text file with one line replaced; the key names the line.
std::string WithLine(std::string text, const std::string& key, const std::string& value) {
    size_t at = text.find("\r\n" + key + ": ");
    if (at == std::string::npos) return {};
    at += 2;
    size_t end = text.find("\r\n", at);
    return text.replace(at, end - at, key + ": " + value);
}

class QorwctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat st {};
        ASSERT_EQ(::stat(kProgram, &st), 0) << kProgram << " is not built";
    }

    CtlRun Ctl(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
        return RunCtl(dir, args, std::move(env));
    }
    std::string Read(const std::string& name) const { return ReadFileBytes(dir.File(name)); }
    bool Exists(const std::string& name) const {
        return ::access(dir.File(name).c_str(), F_OK) == 0;
    }

    TempDir dir;
};

class QorwctlDeviceTest : public QorwctlTest {
protected:
    void SetUp() override {
        QorwctlTest::SetUp();
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
    }
    void TearDown() override { sim.Stop(); }

    // A device command on the simulated module, given by its path.
    CtlRun Device(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.SlavePath()});
        return Ctl(args);
    }
    // The module's configuration as a text file, uploaded into name.
    std::string Uploaded(const std::string& name) {
        CtlRun r = Device({"upload", name});
        EXPECT_EQ(r.status, 0) << r.err;
        return Read(name);
    }

    SimModule sim;
};

// ---- the command line itself

TEST_F(QorwctlTest, RefusesUnusableCommandLinesWithStatusTwo) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"bogus"},
        {"defaults"},
        {"defaults", "a.dcf", "b.dcf"},
        {"convert", "a.dcf", "b.doc"},
        {"check", "noextension"},
        {"--baud", "14400", "info"},
        {"--baud"},
        {"--port", "", "info"},
        {"--port", "COM33", "info"},
        {"--port", "COM0", "info"},
        {"reset", "hard"},
        {"--rom", "upload", "x.dcf"},
        {"--frobnicate", "info"},
        {"--quiet=yes", "info"},
    };
    for (const auto& args : lines) {
        std::string shown;
        for (auto& a : args)
            shown += a + " ";
        CtlRun r = Ctl(args);
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_TRUE(Contains(r.err, "qorwctl: ")) << shown << r.err;
        EXPECT_TRUE(r.out.empty()) << shown;
    }
    EXPECT_FALSE(Exists("QORWUTIL.CFG"));
    // The refusal names every command the option belongs to.
    CtlRun json = Ctl({"--json", "defaults", "d.dcf"});
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(json.err,
              "qorwctl: --json belongs to scan, info, ports, verify, diff, provision and ledger\n"
              "Try 'qorwctl --help'.\n");
}

TEST_F(QorwctlTest, HelpDescribesEveryCommand) {
    CtlRun r = Ctl({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* part :
         {"usage: qorwctl", "defaults OUT", "convert IN OUT", "check IN", "upload OUT",
          "download IN [--rom] [--all]", "verify IN", "diff A B", "reset power|oob|oob-ip", "info",
          "ports", "--trace", "--quiet", "Exit status"})
        EXPECT_TRUE(Contains(r.out, part)) << part;
}

// ---- files

TEST_F(QorwctlTest, DefaultsAndConvertWriteTheWindowsOwnFiles) {
    ASSERT_EQ(Ctl({"defaults", "d.dcf"}).status, 0);
    CtlRun r = Ctl({"defaults", "d.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    std::string text = Read("d.txt");
    EXPECT_EQ(text.rfind("[QorConfiguration]\r\nVersion: 4\r\n\r\n[COMMS]\r\nBaud: Auto\r\n", 0),
              0u)
        << text.substr(0, 80);
    EXPECT_TRUE(Contains(text, "\r\nRoute49: 000.000.000.000\r\n"));
    EXPECT_GT(Read("d.dcf").size(), 0u);

    // Both ways, and back: the same bytes as the files written directly.
    ASSERT_EQ(Ctl({"convert", "d.txt", "c.dcf"}).status, 0);
    EXPECT_EQ(Read("c.dcf"), Read("d.dcf"));
    ASSERT_EQ(Ctl({"convert", "d.dcf", "c.txt"}).status, 0);
    EXPECT_EQ(Read("c.txt"), text);

    // A changed value survives both conversions.
    dir.Write("ch.txt", WithLine(text, "IPAddress", "192.168.001.010"));
    ASSERT_EQ(Ctl({"convert", "ch.txt", "ch.dcf"}).status, 0);
    ASSERT_EQ(Ctl({"convert", "ch.dcf", "back.txt"}).status, 0);
    EXPECT_TRUE(Contains(Read("back.txt"), "\r\nIPAddress: 192.168.001.010\r\n"));

    // No dialog selection was made, so the settings file is never written.
    EXPECT_FALSE(Exists("QORWUTIL.CFG"));
}

TEST_F(QorwctlTest, CheckReportsTheFirstErrorAndConvertWritesNothing) {
    ASSERT_EQ(Ctl({"defaults", "d.txt"}).status, 0);
    CtlRun good = Ctl({"check", "d.txt"});
    EXPECT_EQ(good.status, 0);
    EXPECT_TRUE(good.err.empty()) << good.err;

    dir.Write("bad.txt", WithLine(Read("d.txt"), "IPAddress", "300.168.001.010"));
    CtlRun bad = Ctl({"check", "bad.txt"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "300 is not a valid entry.\nPlease specify a value between 0 and 255 for this "
              "field.\n\n"
              "Text file load ABORTED!\nDefault values loaded.\n[TCPIP] parameters in error.\n\n");
    EXPECT_EQ(Ctl({"convert", "bad.txt", "bad.dcf"}).status, 1);
    EXPECT_FALSE(Exists("bad.dcf"));

    CtlRun missing = Ctl({"check", "missing.dcf"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "File could not be opened\n\n");

    dir.Write("junk.dcf", "not a configuration");
    EXPECT_EQ(Ctl({"check", "junk.dcf"}).status, 1);
}

TEST_F(QorwctlTest, DiffListsEachDifferingParameterByPageAndKey) {
    ASSERT_EQ(Ctl({"defaults", "a.txt"}).status, 0);
    ASSERT_EQ(Ctl({"defaults", "a.dcf"}).status, 0);
    CtlRun same = Ctl({"diff", "a.dcf", "a.txt"});
    EXPECT_EQ(same.status, 0) << same.out;
    EXPECT_TRUE(same.out.empty());

    std::string b = WithLine(Read("a.txt"), "Route07", "010.000.000.007");
    b = WithLine(b, "Username", "smtpuser");
    dir.Write("b.txt", b);
    CtlRun r = Ctl({"diff", "a.dcf", "b.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "Message Routing\tRoute07\t000.000.000.000\t010.000.000.007\n"
              "Email\tUsername\t\tsmtpuser\n");
}

TEST_F(QorwctlTest, PortsNamesTheComNumbersMappedToADevice) {
    SimModule sim;
    ASSERT_TRUE(sim.Start());
    // A line of the pins file that cannot be used is told, and the file stays as it is.
    const std::string pins = DefaultPinsPath(), line = "COM7x\t/dev/ttyUSB9\n";
    ::mkdir(pins.substr(0, pins.rfind('/')).c_str(), 0700);
    std::ofstream(pins) << line;
    CtlRun r = Ctl({"ports"}, {{"QORW_COM5", sim.SlavePath()}});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "COM5\t" + sim.SlavePath() + "\t-\t-\tQORW_COM5\n")) << r.out;
    EXPECT_EQ(r.err, "qorwctl: " + pins +
                         ", line 1: not a pin (COM1 to COM32, a tab, the device's name); the line "
                         "is kept, not used.\n");
    EXPECT_EQ(ReadFileBytes(pins), line);
    ::unlink(pins.c_str());
    sim.Stop();
}

TEST_F(QorwctlTest, PortsAsJsonGivesOneObjectAPort) {
    SimModule sim;
    ASSERT_TRUE(sim.Start());
    const std::string gone = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    std::filesystem::create_directories(std::filesystem::path(TestPinsPath()).parent_path());
    std::ofstream(TestPinsPath()) << "COM7\t" << gone << "\tFT232R USB UART (A1B2C3)\n";
    CtlRun r = Ctl({"ports", "--json"}, {{"QORW_COM5", sim.SlavePath()}});
    ::unlink(TestPinsPath().c_str());
    sim.Stop();
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<int, nlohmann::json> ports;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json port = nlohmann::json::parse(line);
        ports[port["com"].get<int>()] = port;
    }
    using J = nlohmann::json;
    EXPECT_EQ(ports[5], (J{{"com", 5},
                           {"device", sim.SlavePath()},
                           {"by_id", nullptr},
                           {"by_path", nullptr},
                           {"adapter", nullptr},
                           {"serial", nullptr},
                           {"pinned", false},
                           {"present", true}}));
    EXPECT_EQ(ports[7], (J{{"com", 7},
                           {"device", gone},
                           {"by_id", gone},
                           {"by_path", nullptr},
                           {"adapter", "FT232R USB UART (A1B2C3)"},
                           {"serial", nullptr},
                           {"pinned", true},
                           {"present", false}}));
}

// ---- the module

TEST_F(QorwctlDeviceTest, InfoReportsTheIdentificationOfTheModule) {
    CtlRun r = Device({"info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        std::regex_search(r.out, std::regex("^Identification: QORW .*FW=03\\.12 Diag OK\n")))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "\nHardwareAddress: 00:00:BC:1A:2B:3C\n"));
    EXPECT_TRUE(Contains(r.out, "\nFirmware: 03.12\n"));
    EXPECT_TRUE(Contains(r.out, "\nWebParameters: supported\n"));
    // Only the Reset page takes part: no configuration value is read.
    for (const SimRequest& q : sim.Requests())
        EXPECT_TRUE(q.key == 0xF8 || q.key == 0xFE) << q.Line();
}

TEST_F(QorwctlDeviceTest, UploadSavesWhatTheModuleHolds) {
    std::string text = Uploaded("up.txt");
    EXPECT_TRUE(Contains(text, "\r\nIPAddress: 010.000.000.100\r\n")) << text;
    EXPECT_TRUE(Contains(text, "\r\nEthernetAddress: 00:00:BC:1A:2B:3C\r\n"));
    EXPECT_TRUE(Contains(text, "\r\nFrom: qor@example.com\r\n"));
    CtlRun dcf = Device({"upload", "up.dcf"});
    EXPECT_EQ(dcf.status, 0) << dcf.err;
    EXPECT_EQ(Ctl({"diff", "up.dcf", "up.txt"}).out, "");
}

TEST_F(QorwctlDeviceTest, DownloadToRamChangesOnlyTheRam) {
    dir.Write("ch.txt", WithLine(Uploaded("up.txt"), "IPAddress", "192.168.001.010"));
    std::vector<uint8_t> rom = sim.Rom(kAddrBlockKey);
    CtlRun r = Device({"download", "ch.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> ram = sim.Ram(kAddrBlockKey);
    ASSERT_GE(ram.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(ram.begin(), ram.begin() + 8),
              (std::vector<uint8_t>{0xC0, 0, 0xA8, 0, 0x01, 0, 0x0A, 0}));
    EXPECT_EQ(sim.Rom(kAddrBlockKey), rom);
    EXPECT_EQ(sim.Stats().resets, 0);
}

TEST_F(QorwctlDeviceTest, DownloadToRomStoresResetsAndReadsBack) {
    dir.Write("ch.txt", WithLine(Uploaded("up.txt"), "IPAddress", "192.168.001.010"));
    CtlRun r = Device({"download", "ch.txt", "--rom", "--all"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> rom = sim.Rom(kAddrBlockKey);
    ASSERT_GE(rom.size(), 8u);
    EXPECT_EQ(rom[0], 0xC0);
    EXPECT_EQ(sim.Stats().lastResetKind, 0);
    EXPECT_EQ(Device({"verify", "ch.txt"}).status, 0);
}

TEST_F(QorwctlDeviceTest, VerifyComparesTheFileWithTheModule) {
    Uploaded("up.txt");
    CtlRun equal = Device({"verify", "up.txt"});
    EXPECT_EQ(equal.status, 0) << equal.out << equal.err;
    EXPECT_TRUE(equal.out.empty());

    dir.Write("ch.txt", WithLine(Read("up.txt"), "IPAddress", "192.168.001.010"));
    CtlRun changed = Device({"verify", "ch.txt"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out, "QOR IP Addr\tIPAddress\t192.168.001.010\t010.000.000.100\n");
}

TEST_F(QorwctlDeviceTest, ResetSendsTheKindAsksAndComesBackOnline) {
    const std::vector<std::pair<std::string, int>> kinds = {
        {"power", 1}, {"oob", 2}, {"oob-ip", 3}};
    for (const auto& [name, kind] : kinds) {
        CtlRun r = Device({"reset", name});
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(sim.Stats().lastResetKind, kind) << name;
        EXPECT_TRUE(Contains(r.err, "\nDo you wish to proceed?\n-> Yes\n\n")) << r.err;
    }
    CtlRun quiet = Device({"--quiet", "reset", "power"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
}

TEST_F(QorwctlDeviceTest, PortAndBaudOptionsLeaveTheSettingsFileAlone) {
    const std::string settings = "CommPort=COM7\r\nBaudRate=9600\r\n";
    dir.Write("QORWUTIL.CFG", settings);
    CtlRun r = Ctl({"--port", sim.SlavePath(), "--baud", "57600", "info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read("QORWUTIL.CFG"), settings);
    CtlRun com = Ctl({"--port", "COM3", "info"}, {{"QORW_COM3", sim.SlavePath()}});
    EXPECT_EQ(com.status, 0) << com.err;
    EXPECT_EQ(Read("QORWUTIL.CFG"), settings);

    // Without --port the settings file's port is the one used.
    CtlRun fromFile = Ctl({"info"}, {{"QORW_COM7", sim.SlavePath()}});
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(Read("QORWUTIL.CFG"), settings);
}

TEST_F(QorwctlDeviceTest, TraceWritesTimeStampedLines) {
    CtlRun r = Device({"--trace", "info"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_search(r.err, std::regex("(^|\n)\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ")))
        << r.err;
}

TEST_F(QorwctlTest, ANonexistentDeviceIsALinkFailure) {
    ASSERT_EQ(Ctl({"defaults", "d.txt"}).status, 0);
    CtlRun r = Ctl({"--port", dir.File("no-such-tty"), "download", "d.txt"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.rfind("Invalid Comm Port Selected", 0), 0u) << r.err;
    CtlRun up = Ctl({"--port", dir.File("no-such-tty"), "upload", "out.txt"});
    EXPECT_EQ(up.status, 3);
    EXPECT_FALSE(Exists("out.txt"));
    // A name that is no path is looked for among the stable names.
    CtlRun byId = Ctl({"--port", "usb-FTDI_Nowhere-if00-port0", "info"});
    EXPECT_EQ(byId.status, 3);
    EXPECT_EQ(byId.err,
              "Invalid Comm Port Selected\n/dev/serial/by-id/usb-FTDI_Nowhere-if00-port0: No such "
              "file or directory; the device is not there: plug it in, or choose another port\n\n");
}

TEST_F(QorwctlDeviceTest, UnpluggedDuringAnUploadGivesOneMessageAndNoFile) {
    std::atomic<int> requests{0};
    std::atomic<bool> finished{false};
    sim.SetResponder([&](const SimRequest&) -> std::optional<std::vector<uint8_t>> {
        // No answer from the 30th on: the adapter goes while the utility waits for one.
        if (++requests < 30) return std::nullopt;
        return std::vector<uint8_t>{};
    });
    std::thread unplug([&] {
        while (requests < 30 && !finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (requests >= 30) sim.Hangup();
    });
    // At the slowest rate the utility waits a second for each answer.
    CtlRun r = Device({"--baud", "1200", "upload", "out.txt"});
    finished = true;
    unplug.join();
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "The serial device went away: " + sim.SlavePath() +
                         " was unplugged.\nPlug it back in, then try again.\n\n");
    EXPECT_FALSE(Exists("out.txt"));
}

TEST_F(QorwctlTest, ASilentModuleIsALinkFailure) {
    SimOptions options;
    options.silent = true;
    SimModule sim(options);
    ASSERT_TRUE(sim.Start());
    CtlRun r = Ctl({"--port", sim.SlavePath(), "--baud", "57600", "info"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "Unable to Connect to QOR\nPlease check cable / Port Settings\n\n");
    EXPECT_TRUE(r.out.empty());
    sim.Stop();
}

}  // namespace

TEST_F(QorwctlDeviceTest, EachRunStartsAtItsOwnTransactionNumber) {
    std::set<uint16_t> first;
    for (int run = 0; run < 3; ++run) {
        sim.ClearRequests();
        ASSERT_EQ(Device({"info"}).status, 0);
        auto log = sim.Requests();
        ASSERT_FALSE(log.empty());
        first.insert(log.front().transaction);
        ::usleep(3000);  // the seed is the millisecond tick count
    }
    EXPECT_EQ(first.size(), 3u);
}

// An overlong line is a warning, printed once: the load goes on and the command succeeds.
TEST_F(QorwctlTest, AnOverlongLineWarnsOnceAndTheLoadGoesOn) {
    ASSERT_EQ(Ctl({"defaults", "d.txt"}).status, 0);
    std::string text = Read("d.txt");
    text.insert(text.find("Version: 4\r\n") + 12, std::string(5000, 'x') + "\r\n");
    dir.Write("long.txt", text);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"convert", "long.txt", "long.dcf"}, {"check", "long.txt"}}) {
        CtlRun r = Ctl(args);
        EXPECT_EQ(r.status, 0) << args[0] << r.err;
        size_t warnings = 0;
        for (size_t at = r.err.find("m_pBuffer overflow"); at != std::string::npos;
             at = r.err.find("m_pBuffer overflow", at + 1))
            ++warnings;
        EXPECT_EQ(warnings, 1u) << args[0] << r.err;
    }
    EXPECT_TRUE(Exists("long.dcf"));
}
