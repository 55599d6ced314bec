#pragma once

#include "cli/cli_options.h"

// qorwctl provision and qorwctl ledger: the provisioning station on the command line.
int RunProvision(const CliOptions& options);
int RunLedger(const CliOptions& options);
