#pragma once

#include <optional>
#include <string>

// The utility's own settings file: the COM port and the PC baud rate, two lines
//     CommPort=COM3\r\n
//     BaudRate=9600\r\n
// in the process's current directory.
class CSettingsFile {
public:
    static constexpr const char* kFileName = "QORWUTIL.CFG";
    // Longest number accepted on either line; anything longer is a malformed file.
    static constexpr int kMaxNumberChars = 11;

    // What a read found. The port stays known when only the baud line is bad.
    struct ReadResult {
        bool ok = false;
        std::optional<int> port;  // 1..32
        int baudIndex = 1;        // valid when ok
    };

    // Baud index 0..6 to bits per second; 38400 for index 1 or any other value.
    static int RateOfIndex(int baudIndex);
    // Bits per second to baud index; 1 (38400) for any rate not in the list.
    static int IndexOfRate(long long rate);

    // Reads the file; a missing, short or malformed file is a failed read. Never reads past
    // the end of the file.
    static ReadResult Read(const std::string& path = kFileName);
    // Rewrites the file with the two lines, creating it when absent and cutting anything
    // after them. False when any step failed (the caller reports nothing).
    static bool Write(int port, int baudIndex, const std::string& path = kFileName);
    // The two lines as written.
    static std::string Format(int port, int baudIndex);
};
