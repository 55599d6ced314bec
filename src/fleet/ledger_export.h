#pragma once

#include <string>
#include <vector>

#include "fleet/ledger.h"

// The ledger's report as qorwctl ledger writes it and the station window exports it: CSV with a
// header line (CRLF line ends), or one JSON object a line.
std::string LedgerCsv(const std::vector<Ledger::Entry>& entries);
std::string LedgerJson(const std::vector<Ledger::Entry>& entries);
