#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The device behind a COM number: QORW_COM<n> when that is set, else /dev/ttyS<n-1>.
std::string DeviceForPort(int port);

// A terminal device in raw mode (8N1, no flow control, CLOCAL, DTR on, RTS off) with a wake
// descriptor so that another thread can end a blocked wait.
class SerialPort {
public:
    enum class WaitResult { Readable, Woken, Timeout, Hangup };

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
    bool Fail(const std::string& device, const std::string& reason);

    int fd_ = -1;
    int wakeFd_ = -1;
    uint32_t baud_ = 0;
    std::string error_;
};
