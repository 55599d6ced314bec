#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fleet/units_table.h"

class CUtilityDlg;
class FleetUiHost;

// One unit of a provisioning run: the template with its row's values, built and checked by the
// pages exactly as a text file is loaded.
struct UnitConfig {
    int row = 0;         // data row of the units file, from 1
    int line = 0;        // where that row stands in the file
    std::string tiedHw;  // the EthernetAddress column, normalised; empty: any module
    // The row's columns (EthernetAddress left out) and values, in the table's column order, as
    // the module will hold them: what the ledger keeps of a row it has bound.
    std::vector<std::pair<std::string, std::string>> values;
    std::string ip;           // the IP address the configuration gives the module
    std::string series;       // the module series the configuration is for ("A", "B/C", "D")
    std::string text;         // the whole configuration as the text save writes it
    std::string fingerprint;  // of text: the ledger knows a unit done with it
};

struct UnitPlan {
    std::vector<UnitConfig> units;
    std::string fingerprint;  // of the template: TemplateFingerprint
};

enum class PlanResult {
    Ok,
    Usage,    // the units file is not a usable table, or names a column no page reads
    Refused,  // a file could not be read, or a page refused a value, or two rows clash
};

// Loads and checks the template (.dcf or .txt, as "File Load" and "Text..." do), then builds
// and checks every row of the units file. Nothing is written anywhere; on failure error says
// what and where (row, column and the page's own message): for the rows, every refused row and
// every clash, one a line.
PlanResult BuildUnitPlan(const std::string& templatePath, const std::string& unitsPath,
                         UnitPlan& plan, std::string& error);

// The template's fingerprint: the first 12 hex digits (lower case) of the SHA-256 of the
// configuration it makes, as the text save writes it without the sections written only for a
// person to read ([QorConfiguration], [Device], [Diagnostics]: which module it was read from), so
// a .dcf and the text file saved from it have the same one. Two benches compare it at a glance.
// Empty, with the load's message in error, when the template does not load.
std::string TemplateFingerprint(const std::string& templatePath, std::string& error);

// The column that ties a row to one module.
constexpr const char* kEthernetAddressColumn = "EthernetAddress";

// 12 upper-case hex digits of a hardware address written with or without ':', '-' or '.'
// between the bytes; empty when it is not one.
std::string NormaliseHwAddress(const std::string& text);
// Back into the form the module reports: 00:00:BC:1A:2B:3C.
std::string FormatHwAddress(const std::string& normalised);

// A started window's configuration from a configuration file (.dcf or .txt by extension) or
// from configuration text; false with the message the load showed, or the first page's refusal.
bool LoadConfigurationFile(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& path,
                           std::string& error);
bool LoadConfigurationText(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& text,
                           std::string& error);
// What the text save writes of the window's configuration; empty when it could not.
std::string ConfigurationText(CUtilityDlg& dlg);
