#pragma once

#include <optional>
#include <string>
#include <vector>

// How long a provisioning run (not a station) waits for a module to answer on a port.
constexpr int kDefaultWaitSeconds = 30;

// qorwctl's command line, as the option table reads it.
struct CliOptions {
    std::string command;
    std::vector<std::string> args;    // the command's words
    std::optional<std::string> port;  // the last --port: "COMn", a device path or a by-id name
    std::vector<std::string> ports;   // every --port in order (scan and provision take several)
    std::optional<int> baudIndex;     // 0..6 of the link rates
    bool quiet = false;
    bool trace = false;
    bool help = false;
    bool version = false;
    bool bashCompletion = false;
    bool rom = false;  // download
    bool all = false;  // download
    bool json = false;
    bool csv = false;  // ledger
    int traceRow = 0;  // ledger: the row whose last attempt's link trace to print
    // provision
    std::string templatePath, unitsPath, ledgerPath;
    std::string batch;    // provision, ledger: the batch on a server
    std::string station;  // provision: who records the attempts
    int waitSeconds = kDefaultWaitSeconds;
    bool ram = false, watch = false, dryRun = false, force = false, correct = false;
};

// What an option's value is; it decides the value's check and what completion offers.
enum class CliValue { None, Port, Rate, Seconds, File, Row, Name };

// One option of the table. A list of commands is their names, space-separated. One name may
// stand for two options of different commands (--trace: a flag, or ledger's --trace ROW); the
// command decides which.
struct CliOption {
    const char* name;                 // "--port"
    const char* shortName = nullptr;  // "-q"
    CliValue value = CliValue::None;
    const char* valueName = nullptr;   // as the usage shows it: "RATE", "FILE.csv"
    const char* extensions = nullptr;  // of a file value, "dcf|txt"
    const char* commands = nullptr;    // the commands it belongs to; nullptr: every command
    const char* repeatsIn = nullptr;   // the only commands that take it more than once
    const char* requiredIn = nullptr;  // the commands that cannot go without it
    bool general = false;              // shown in the usage's first line, not each command's
    const char* help = nullptr;        // nullptr: not shown
    // What the option sets: a flag, a text, or what apply makes of the value.
    bool CliOptions::*flag = nullptr;
    std::string CliOptions::*text = nullptr;
    bool (*apply)(CliOptions& options, const std::string& value, std::string& error) = nullptr;
};

// What a command's words are, for its usage and for completion.
struct CliCommand {
    const char* name;
    const char* words;  // as the usage shows them: "IN OUT"
    size_t wordCount;
    const char* extensions;  // the words are files with these extensions, or nullptr
    const char* choices;     // the one word is one of these, or nullptr
    const char* help;
};

const std::vector<CliOption>& CliOptionTable();
const std::vector<CliCommand>& CliCommandTable();
// Whether option belongs to command.
bool OptionBelongsTo(const CliOption& option, const std::string& command);

// Parses argv[1..]; false with a one-line reason when the command line is not usable.
bool ParseCliOptions(const std::vector<std::string>& argv, CliOptions& options, std::string& error);

// "COM" and digits, in any case: meant as a COM number, right or wrong.
bool LooksLikeComNumber(const std::string& text);
// The COM number of "COMn" (any case, n 1..32); nothing for anything else.
std::optional<int> ComNumberOf(const std::string& text);

// The usage text of --help: the whole of it, or one command's part.
std::string CliHelpText(const std::string& command = {});
// The bash completion script for qorwctl.
std::string BashCompletionScript();
