#pragma once

#include <string>
#include <vector>

#include "app/module_scan.h"
#include "cli/cli_options.h"

// qorwctl scan: finds the module on the named ports or on every port present.
int RunScan(const CliOptions& options);

// One port's result as one line of JSON (no newline).
std::string ScanJson(const ScanResult& result);
// The results as a table with a heading, one row a port.
std::string ScanTable(const std::vector<ScanResult>& results);
// 0 when a module was found, 3 when no port could be opened (or there was none), else 1.
int ScanExitStatus(const std::vector<ScanResult>& results);
