#pragma once

#include "cli/cli_options.h"

// Exit status of qorwctl.
enum CliExit {
    kExitOk = 0,
    kExitRefused = 1,  // a file or a value was refused, or verify/diff found differences
    kExitUsage = 2,
    kExitLink = 3,
};

// Prints a usage error with the pointer to --help; returns kExitUsage.
int Usage(const std::string& text);
// Rows of text as columns two spaces apart, a line each (the first row is the header).
std::string ColumnsText(const std::vector<std::vector<std::string>>& rows);

// Runs one parsed command line (not --help or --version) to its exit status.
int RunCli(const CliOptions& options);
