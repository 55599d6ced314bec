#pragma once

#include <optional>
#include <string>
#include <vector>

// qorwctl provision and qorwctl ledger: the provisioning station on the command line. Their
// options are their own, so the whole command line comes here as it was given.

// "provision" or "ledger" when that is the command the line names; nothing otherwise.
std::optional<std::string> FleetCommandOf(const std::vector<std::string>& argv);

int RunProvision(const std::vector<std::string>& argv);
int RunLedger(const std::vector<std::string>& argv);

// The usage lines of both, for --help.
const char* FleetUsage();
