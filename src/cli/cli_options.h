#pragma once

#include <optional>
#include <string>
#include <vector>

// qorwctl's command line.
struct CliOptions {
    std::optional<std::string> port;  // "COMn", a device path or a by-id name, as given
    std::vector<std::string> ports;   // every --port in order (scan takes several)
    std::optional<int> baudIndex;     // 0..6 of the link rates
    bool quiet = false;
    bool trace = false;
    bool help = false;
    bool version = false;
    bool rom = false;  // download --rom
    bool all = false;  // download --all
    bool json = false;  // scan, info, verify, diff --json
    std::string command;
    std::vector<std::string> args;
};

// Parses argv[1..]; false with a one-line reason when the command line is not usable.
bool ParseCliOptions(const std::vector<std::string>& argv, CliOptions& options,
                     std::string& error);

// "COM" and digits, in any case: meant as a COM number, right or wrong.
bool LooksLikeComNumber(const std::string& text);
// The COM number of "COMn" (any case, n 1..32); nothing for anything else.
std::optional<int> ComNumberOf(const std::string& text);

// The usage text of --help.
const char* CliHelpText();
