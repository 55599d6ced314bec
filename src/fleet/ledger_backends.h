#pragma once

// The two kinds of ledger, opened by Ledger::Open by the place's form.

#include <memory>
#include <string>

#include "fleet/ledger.h"

std::unique_ptr<Ledger> OpenSqliteLedger(const std::string& path,
                                         const Ledger::OpenOptions& options, std::string& error);
std::unique_ptr<Ledger> OpenPostgresLedger(const std::string& uri,
                                           const Ledger::OpenOptions& options, std::string& error);
