#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The device behind a COM number as the program's port map has it now (link/port_map.h).
std::string DeviceForPort(int port);

// A terminal device in raw mode (8N1, no flow control, CLOCAL, DTR on, RTS off) with a wake
// descriptor so that another thread can end a blocked wait.
class SerialPort {
public:
    enum class WaitResult { Readable, Woken, Timeout, Hangup };
    // Why an Open failed, as far as a person can put it right.
    enum class Problem { None, NoDevice, Permission, Busy, NotSerial, Other };

    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures the device exclusively; on failure Error() says why, as
    // "<device>: <reason>", and nothing stays open.
    bool Open(const std::string& device, uint32_t baud);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }
    Problem OpenProblem() const { return problem_; }

    // Waits for received bytes, a Wake() or the time limit (negative: none).
    WaitResult Wait(int timeoutMs);
    // Reads what is there without blocking; 0 when nothing is, -1 when the device is gone.
    int Read(uint8_t* buffer, size_t size);
    // Writes all bytes and waits until they have left; false when the device refuses them.
    bool Write(const uint8_t* bytes, size_t n);
    // Discards unread input and unsent output.
    void Purge();
    void Wake();
    void ClearWake();

    // The termios rate constant of one of the seven link rates; 0 for any other rate.
    static unsigned RateConstant(uint32_t baud);

private:
    bool Fail(const std::string& device, const std::string& reason,
              Problem problem = Problem::Other);

    int fd_ = -1;
    int wakeFd_ = -1;
    uint32_t baud_ = 0;
    std::string error_;
    Problem problem_ = Problem::None;
};

// The programs that hold device open, as "minicom (process 4242)", joined by ", "; empty when
// none can be seen (another user's processes are hidden from all but root).
std::string DeviceHolders(const std::string& device);
