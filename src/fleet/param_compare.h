#pragma once

#include <string>
#include <vector>

class CUtilityDlg;

// The configuration a window holds: the document's values by identifier and the series the
// IP address page shows, for comparing two configurations. What only a connected module
// reports (its identification text and hardware address) is left out: it is not part of a
// configuration.
struct ParamValue {
    int id;
    std::string page;  // the tab text of the page that owns it
    std::string key;   // its text-file key
    std::string value;
};
std::vector<ParamValue> ConfigurationOf(CUtilityDlg& dlg);

struct ParamDifference {
    std::string page;
    std::string key;
    std::string first;
    std::string second;
};
// Both lists from ConfigurationOf; the differences in identifier order.
std::vector<ParamDifference> CompareConfigurations(const std::vector<ParamValue>& first,
                                                   const std::vector<ParamValue>& second);

// One line of the listing: page, key and the two values, tab-separated.
std::string DifferenceLine(const ParamDifference& d);
