#include "link/serial_port.h"

#include "link/port_map.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

std::string DeviceForPort(int port) {
    PortMap& map = ProgramPortMap();
    map.Refresh();
    return map.DeviceFor(port);
}

SerialPort::SerialPort() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SerialPort::~SerialPort() {
    Close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

unsigned SerialPort::RateConstant(uint32_t baud) {
    switch (baud) {
        case 57600:
            return B57600;
        case 38400:
            return B38400;
        case 19200:
            return B19200;
        case 9600:
            return B9600;
        case 4800:
            return B4800;
        case 2400:
            return B2400;
        case 1200:
            return B1200;
        default:
            return 0;
    }
}

bool SerialPort::Fail(const std::string& device, const std::string& reason, Problem problem) {
    error_ = device + ": " + reason;
    problem_ = problem;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

namespace {

// Modem-control requests mean nothing to a pseudo-terminal, which refuses them.
bool ModemLine(int fd, unsigned long request, int line) {
    if (ioctl(fd, request, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

bool HasGroup(const std::vector<gid_t>& groups, gid_t gid) {
    for (gid_t g : groups) {
        if (g == gid) return true;
    }
    return false;
}

// The groups this process runs with.
std::vector<gid_t> SessionGroups() {
    std::vector<gid_t> groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    int n = getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<size_t>(std::max(n, 0)));
    groups.push_back(getegid());
    return groups;
}

// The groups the account has in the group database, which a new login would take up.
std::vector<gid_t> AccountGroups(const passwd& account) {
    int n = 32;
    std::vector<gid_t> groups;
    for (int tries = 0; tries < 3; ++tries) {
        groups.resize(static_cast<size_t>(n));
        if (getgrouplist(account.pw_name, account.pw_gid, groups.data(), &n) >= 0) {
            groups.resize(static_cast<size_t>(n));
            return groups;
        }
    }
    return {};
}

// What to do about a device that refuses to open for lack of permission. Serial adapters
// belong to the dialout group on Debian and its kin; anything else names who has the device.
std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    const group* g = getgrgid(st.st_gid);
    std::string groupName = g ? g->gr_name : std::to_string(st.st_gid);
    if (groupName == "dialout") {
        const passwd* me = getpwuid(geteuid());
        if (me && !HasGroup(SessionGroups(), st.st_gid) &&
            HasGroup(AccountGroups(*me), st.st_gid)) {
            return "you are in the dialout group, but this session started before you were "
                   "added: log in again";
        }
        return "add yourself to the dialout group (sudo usermod -aG dialout $USER, then log in "
               "again)";
    }
    const passwd* owner = getpwuid(st.st_uid);
    std::string ownerName = owner ? owner->pw_name : std::to_string(st.st_uid);
    return "the device belongs to user " + ownerName + " and group " + groupName +
           "; ask its owner for access, or for membership of that group";
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Holder(long pid) {
    std::string name = ReadLine("/proc/" + std::to_string(pid) + "/comm");
    return (name.empty() ? "a program" : name) + " (process " + std::to_string(pid) + ")";
}

// The process a UUCP-style lock file names, as minicom and its kin leave them.
long LockOwner(const std::string& device) {
    std::string base = device.substr(device.rfind('/') + 1);
    for (const char* dir : {"/run/lock/", "/var/lock/"}) {
        std::string line = ReadLine(dir + std::string("LCK..") + base);
        long pid = std::atol(line.c_str());
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0) return pid;
    }
    return 0;
}

}  // namespace

std::string DeviceHolders(const std::string& device) {
    std::error_code ec;
    std::string target = std::filesystem::canonical(device, ec).string();
    if (ec) return {};
    std::vector<long> pids;
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
        std::string name = proc.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code fdEc;
        for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", fdEc)) {
            std::error_code linkEc;
            if (std::filesystem::read_symlink(fd.path(), linkEc).string() == target) {
                pids.push_back(std::atol(name.c_str()));
                break;
            }
        }
    }
    if (pids.empty()) {
        if (long pid = LockOwner(target)) pids.push_back(pid);
    }
    std::string text;
    for (long pid : pids) text += (text.empty() ? "" : ", ") + Holder(pid);
    return text;
}

bool SerialPort::Open(const std::string& device, uint32_t baud) {
    Close();
    error_.clear();
    problem_ = Problem::None;
    if (wakeFd_ < 0) return Fail(device, "cannot create a wake descriptor");
    unsigned rate = RateConstant(baud);
    if (rate == 0) return Fail(device, "unsupported baud rate " + std::to_string(baud));

    // Non-blocking, so that neither the open nor a read waits for carrier.
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        int err = errno;
        std::string reason = std::strerror(err);
        if (err == EACCES || err == EPERM) {
            std::string advice = PermissionAdvice(device);
            if (!advice.empty()) reason += "; " + advice;
            return Fail(device, reason, Problem::Permission);
        }
        if (err == EBUSY) {
            std::string holders = DeviceHolders(device);
            reason += holders.empty() ? "; another program has it open: close that program, or "
                                        "choose another port"
                                      : "; " + holders + " has it open: close that program, "
                                                         "or choose another port";
            return Fail(device, reason, Problem::Busy);
        }
        // ENXIO and EIO: a ttyS name with no UART behind it.
        bool gone = err == ENOENT || err == ENODEV || err == ENXIO || err == EIO;
        return Fail(device, reason, gone ? Problem::NoDevice : Problem::Other);
    }
    if (!isatty(fd_)) {
        return Fail(device,
                    "not a terminal device; it is no serial port: choose a serial adapter such "
                    "as /dev/ttyUSB0 or one under /dev/serial/by-id",
                    Problem::NotSerial);
    }
    if (ioctl(fd_, TIOCEXCL) != 0) return Fail(device, std::strerror(errno));

    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return Fail(device, std::strerror(errno));
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | BRKINT);
    tio.c_iflag |= IGNBRK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, rate);
    cfsetospeed(&tio, rate);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(device, std::strerror(errno));

    if (!ModemLine(fd_, TIOCMBIS, TIOCM_DTR) || !ModemLine(fd_, TIOCMBIC, TIOCM_RTS)) {
        return Fail(device, std::strerror(errno));
    }
    baud_ = baud;
    Purge();
    ClearWake();
    return true;
}

void SerialPort::Close() {
    if (fd_ < 0) return;
    // Another opener must not find the line still exclusive.
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

SerialPort::WaitResult SerialPort::Wait(int timeoutMs) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
        int n = ::poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Hangup;
        }
        if (n == 0) return WaitResult::Timeout;
        if (fds[1].revents & POLLIN) return WaitResult::Woken;
        if (fds[0].revents & POLLIN) return WaitResult::Readable;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::Hangup;
    }
}

int SerialPort::Read(uint8_t* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

bool SerialPort::Write(const uint8_t* bytes, size_t n) {
    if (fd_ < 0) return false;
    // Room for the bytes at the line rate, and a second for a slow driver.
    int limitMs = 1000 + static_cast<int>(n * 10000 / (baud_ ? baud_ : 1200));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd_, bytes + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd = {fd_, POLLOUT, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
        if (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            errno = EIO;  // hung up: as a write would say
            return false;
        }
    }
    // The acknowledgement wait starts when the frame has left, not when it was queued.
    tcdrain(fd_);
    return true;
}

void SerialPort::Purge() {
    if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

void SerialPort::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

void SerialPort::ClearWake() {
    uint64_t value;
    while (::read(wakeFd_, &value, sizeof value) > 0) {
    }
}
