#include "link/serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// A pseudo-terminal whose slave side stands in for a serial adapter.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = ptsname(master_);
        }
    }
    ~Pty() {
        if (master_ >= 0) close(master_);
    }
    const std::string& Slave() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qor_serial_port_XXXXXX";
        if (mkdtemp(tmpl)) path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// The Error() of an open of the device by a process running as uid and gid (only root can
// become another user; anyone else opens as itself).
std::string OpenErrorAs(const std::string& device, uid_t uid, gid_t gid) {
    int out[2];
    if (pipe(out) != 0) return "pipe failed";
    pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 ||
                               setuid(uid) != 0)) {
            _exit(3);
        }
        SerialPort port;
        std::string text = port.Open(device, 38400) ? "opened" : port.Error();
        [[maybe_unused]] ssize_t w = write(out[1], text.data(), text.size());
        _exit(0);
    }
    close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return text;
}

TEST(SerialPortPermission, DetailSaysHowToGetAccess) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the device away";
    const group* dialout = getgrnam("dialout");
    const passwd* nobody = getpwnam("nobody");
    if (!dialout || !nobody) GTEST_SKIP() << "no dialout group or nobody user here";

    struct {
        gid_t group;
        mode_t mode;
        std::string advice;
    } cases[] = {
        {dialout->gr_gid, 0660,
         "add yourself to the dialout group (sudo usermod -aG dialout $USER, then log in again)"},
        {0, 0600,
         "the device belongs to user root and group root; ask its owner for access, or for "
         "membership of that group"},
    };
    for (const auto& c : cases) {
        Pty pty;
        ASSERT_FALSE(pty.Slave().empty());
        ASSERT_EQ(chown(pty.Slave().c_str(), 0, c.group), 0);
        ASSERT_EQ(chmod(pty.Slave().c_str(), c.mode), 0);
        EXPECT_EQ(OpenErrorAs(pty.Slave(), nobody->pw_uid, nobody->pw_gid),
                  pty.Slave() + ": Permission denied; " + c.advice);
    }
}

TEST(SerialPortPermission, OwnDeviceWithoutRightsNamesItsOwner) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens whatever the mode says";
    Pty pty;
    ASSERT_FALSE(pty.Slave().empty());
    ASSERT_EQ(chmod(pty.Slave().c_str(), 0), 0);
    struct stat st {};
    ASSERT_EQ(stat(pty.Slave().c_str(), &st), 0);
    const passwd* owner = getpwuid(st.st_uid);
    const group* g = getgrgid(st.st_gid);
    ASSERT_TRUE(owner && g);
    EXPECT_EQ(OpenErrorAs(pty.Slave(), 0, 0),
              pty.Slave() + ": Permission denied; the device belongs to user " + owner->pw_name +
                  " and group " + g->gr_name +
                  "; ask its owner for access, or for membership of that group");
}

TEST(SerialPortProblems, EachFailureSaysWhatItIs) {
    struct {
        std::string device, error;
        SerialPort::Problem problem;
    } cases[] = {
        {"/nonexistent/ttyUSB7", "/nonexistent/ttyUSB7: No such file or directory",
         SerialPort::Problem::NoDevice},
        {"/dev/null",
         "/dev/null: not a terminal device; it is no serial port: choose a serial adapter such as "
         "/dev/ttyUSB0 or one under /dev/serial/by-id",
         SerialPort::Problem::NotSerial},
    };
    for (const auto& c : cases) {
        SerialPort port;
        EXPECT_FALSE(port.Open(c.device, 38400));
        EXPECT_EQ(port.Error(), c.error);
        EXPECT_EQ(port.OpenProblem(), c.problem) << c.device;
    }
}

TEST(SerialPortProblems, BusyNamesWhoHoldsTheDeviceWhereThatCanBeSeen) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to open as another user";
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no nobody user here";
    Pty pty;
    ASSERT_FALSE(pty.Slave().empty());
    ASSERT_EQ(chmod(pty.Slave().c_str(), 0666), 0);
    int held = open(pty.Slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(ioctl(held, TIOCEXCL), 0);
    // Who holds it (here: this program, and the opener's own inherited copy) another user may
    // see or not, by the kernel's settings.
    std::string error = OpenErrorAs(pty.Slave(), nobody->pw_uid, nobody->pw_gid);
    EXPECT_EQ(error.rfind(pty.Slave() + ": Device or resource busy; ", 0), 0u) << error;
    const std::string cure = " has it open: close that program, or choose another port";
    EXPECT_EQ(error.substr(error.size() - std::min(error.size(), cure.size())), cure) << error;
    EXPECT_NE(DeviceHolders(pty.Slave()).find("(process " + std::to_string(getpid()) + ")"),
              std::string::npos)
        << DeviceHolders(pty.Slave());
    close(held);
}

// udev's stable names are chains of symbolic links: by-id/<name> -> ../../ttyUSB0 -> device.
TEST(SerialPortById, ComPortOpensAStableNameThroughItsLinks) {
    Pty pty;
    TempDir dir;
    ASSERT_FALSE(pty.Slave().empty());
    ASSERT_FALSE(dir.Path().empty());
    fs::path dev = dir.Path() / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink(pty.Slave(), dev / "ttyUSB0");
    fs::path byId = dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    fs::create_symlink("../../ttyUSB0", byId);

    setenv("QORW_COM5", byId.c_str(), 1);
    EXPECT_EQ(DeviceForPort(5), byId.string());
    SerialPort port;
    EXPECT_TRUE(port.Open(DeviceForPort(5), 38400)) << port.Error();
    port.Close();

    // Unplugged: the link stays but leads nowhere, and the message names the stable name.
    fs::remove(dev / "ttyUSB0");
    EXPECT_FALSE(port.Open(DeviceForPort(5), 38400));
    EXPECT_EQ(port.Error(), byId.string() + ": No such file or directory");
    unsetenv("QORW_COM5");
}

}  // namespace
