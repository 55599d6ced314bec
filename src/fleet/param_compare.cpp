#include "fleet/param_compare.h"

#include <cstdio>
#include <map>

#include "app/utility_dlg.h"
#include "model/qor_doc.h"

namespace {

std::string Numbered(const char* prefix, int n) {
    char key[32];
    std::snprintf(key, sizeof key, "%s%02d", prefix, n);
    return key;
}

constexpr const char* kSeriesD = "D";
// After every document identifier.
constexpr int kSeriesId = QorDoc::kParamCount;

struct Owner {
    int page;
    std::string key;
};

// The text-file keys of a web page's rows by identifier, from the page itself: its rows are
// numbered in the file, not its identifiers (Web Config has none for identifier 101).
void AddRowKeys(int index, CWebGridPage& page, std::map<int, Owner>& owners) {
    for (int row = 1; row <= page.RowCount(); ++row) {
        std::string key = page.Key(row);
        key.resize(key.size() - 2);  // ": "
        owners[page.RowInfo(row).id] = {index, key};
    }
}

// The page and text-file key of an identifier; page -1 for what is not compared.
Owner OwnerOf(int id, const std::map<int, Owner>& webRows) {
    if (id < QorDoc::kIdFirstEmailDest) return {CUtilityDlg::kRoutingPage, Numbered("Route", id)};
    if (id < QorDoc::kIdFirstWebConfig) return {CUtilityDlg::kEmailPage, Numbered("Address", id)};
    if (id < QorDoc::kIdDiagnostics) {
        auto it = webRows.find(id);
        return it != webRows.end() ? it->second : Owner{-1, {}};
    }
    switch (id) {
        case QorDoc::kIdIpAddress:
            return {CUtilityDlg::kIpAddrPage, "IPAddress"};
        case QorDoc::kIdSubnetMask:
            return {CUtilityDlg::kIpAddrPage, "SubnetMask"};
        case QorDoc::kIdGateway:
            return {CUtilityDlg::kIpAddrPage, "Gateway"};
        case QorDoc::kIdSecurityMask1:
            return {CUtilityDlg::kIpAddrPage, "SecurityMask1"};
        case QorDoc::kIdSecurityMask2:
            return {CUtilityDlg::kIpAddrPage, "SecurityMask2"};
        case QorDoc::kIdFrom:
            return {CUtilityDlg::kEmailPage, "From"};
        case QorDoc::kIdUsername:
            return {CUtilityDlg::kEmailPage, "Username"};
        case QorDoc::kIdPassword:
            return {CUtilityDlg::kEmailPage, "Password"};
        case QorDoc::kIdSmtpAuth:
            return {CUtilityDlg::kEmailPage, "SMTP Authentication"};
        case QorDoc::kIdEmailServer:
            return {CUtilityDlg::kEmailPage, "Server"};
        case QorDoc::kIdCfgSecMask:
            return {CUtilityDlg::kUtilitySettingsPage, "CfgSecMask"};
        case QorDoc::kIdIpConfig:
            return {CUtilityDlg::kIpAddrPage, "IpConfig"};
        case QorDoc::kIdBaud:
            return {CUtilityDlg::kIpAddrPage, "Baud"};
        case QorDoc::kIdSpeedDuplex:
            return {CUtilityDlg::kIpAddrPage, "Ethernet Speed/Duplex"};
        case QorDoc::kIdEnableRouting:
            return {CUtilityDlg::kIpAddrPage, "EnableRouting"};
        // The identification text and the hardware address describe the module, not its
        // configuration; the Series B flag follows the series, which is compared instead.
        default:
            return {-1, {}};
    }
}

}  // namespace

std::vector<ParamValue> ConfigurationOf(CUtilityDlg& dlg) {
    QorDoc& doc = dlg.Doc();
    std::string series = dlg.IpAddrPage().SeriesList().CurText();
    std::map<int, Owner> webRows;
    AddRowKeys(CUtilityDlg::kWebConfigPage, dlg.WebConfigPage(), webRows);
    AddRowKeys(CUtilityDlg::kWebDataDescPage, dlg.WebDataDescPage(), webRows);
    std::vector<ParamValue> values;
    for (int id = 0; id < QorDoc::kParamCount; ++id) {
        Owner owner = OwnerOf(id, webRows);
        if (owner.page < 0) continue;
        // Only series D modules have a speed setting; the page leaves it alone for the others.
        if (id == QorDoc::kIdSpeedDuplex && series != kSeriesD) continue;
        std::string value = doc.GET(id);
        // The document keeps the flag as "1"/"0"; the text file and the page say YES/NO.
        if (id == QorDoc::kIdSmtpAuth) value = value == "1" ? "YES" : "NO";
        values.push_back({id, CUtilityDlg::kTabTexts[owner.page], owner.key, value});
    }
    // The series is the page's, from the file or from the module's firmware revision.
    values.push_back(
        {kSeriesId, CUtilityDlg::kTabTexts[CUtilityDlg::kIpAddrPage], "Series", series});
    return values;
}

std::vector<ParamDifference> CompareConfigurations(const std::vector<ParamValue>& first,
                                                   const std::vector<ParamValue>& second) {
    std::vector<ParamDifference> differences;
    size_t j = 0;
    for (const ParamValue& a : first) {
        while (j < second.size() && second[j].id < a.id)
            ++j;
        if (j == second.size() || second[j].id != a.id) continue;
        if (a.value != second[j].value)
            differences.push_back({a.page, a.key, a.value, second[j].value});
    }
    return differences;
}

std::string DifferenceLine(const ParamDifference& d) {
    return d.page + '\t' + d.key + '\t' + d.first + '\t' + d.second;
}
