#include "fleet/unit_plan.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

constexpr const char* kNoAddress = "000.000.000.000";

// A file of our own under the temporary folder for one load or save, removed afterwards.
class ScratchFile {
public:
    ScratchFile() {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/qorprovision.XXXXXX.txt";
        int fd = ::mkstemps(path_.data(), 4);
        if (fd < 0) {
            path_.clear();
        } else {
            ::close(fd);
        }
    }
    ~ScratchFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool EndsWithNoCase(const std::string& name, const char* ext) {
    size_t n = std::char_traits<char>::length(ext);
    if (name.size() <= n || name[name.size() - n - 1] != '.') return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != ext[i])
            return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// FNV-1a, 64 bits, in hex: enough to tell one configuration from another.
std::string Fingerprint(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

// Sections the pages write for a person to read but never load back.
bool IsInformationSection(const std::string& header) {
    return header == "[QorConfiguration]" || header == "[Device]" || header == "[Diagnostics]";
}

// The template as text, split into lines, with the line of every key the pages read.
struct TemplateLines {
    std::vector<std::string> lines;
    std::map<std::string, size_t> keyLine;
};

TemplateLines SplitTemplate(const std::string& text) {
    TemplateLines t;
    std::string section;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line.front() == '[') {
            section = line;
        } else if (size_t colon = line.find(": ");
                   colon != std::string::npos && !IsInformationSection(section)) {
            t.keyLine.emplace(line.substr(0, colon), t.lines.size());
        }
        t.lines.push_back(std::move(line));
    }
    return t;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Where(const UnitsTable::Row& row, size_t index) {
    return "row " + std::to_string(index + 1) + " (line " + std::to_string(row.line) + ")";
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::string NormaliseHwAddress(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (c == ':' || c == '-' || c == '.' || c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return hex.size() == 12 ? hex : std::string();
}

std::string FormatHwAddress(const std::string& normalised) {
    std::string text;
    for (size_t i = 0; i < normalised.size(); i += 2) {
        if (i) text.push_back(':');
        text.append(normalised, i, 2);
    }
    return text;
}

bool LoadConfigurationFile(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& path,
                           std::string& error) {
    size_t before = ui.Messages().size();
    ui.SetNextFileName(path);
    if (EndsWithNoCase(path, CUtilityDlg::kDcfExt)) {
        dlg.OnFileLoad();
    } else if (EndsWithNoCase(path, CUtilityDlg::kTextExt)) {
        dlg.OnTextLoad();
    } else {
        error = "\"" + path + "\" must end in .dcf or .txt";
        return false;
    }
    if (ui.Messages().size() != before || dlg.ValueSource() != CUtilityDlg::kFileValues) {
        error = ui.Messages().size() != before ? ui.LastMessage() : "the file was not loaded";
        return false;
    }
    // What a save or a download would refuse is an error of the configuration too.
    if (!dlg.ValidatePages()) {
        error = ui.LastMessage();
        return false;
    }
    return true;
}

bool LoadConfigurationText(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& text,
                           std::string& error) {
    ScratchFile file;
    std::ofstream out(file.Path(), std::ios::binary | std::ios::trunc);
    if (file.Path().empty() || !(out << text) || !out.flush()) {
        error = "cannot write a temporary file";
        return false;
    }
    out.close();
    return LoadConfigurationFile(dlg, ui, file.Path(), error);
}

std::string ConfigurationText(CUtilityDlg& dlg) {
    ScratchFile file;
    std::string text;
    if (file.Path().empty() || !dlg.SaveTextFile(file.Path()) || !ReadWhole(file.Path(), text))
        return {};
    return text;
}

PlanResult BuildUnitPlan(const std::string& templatePath, const std::string& unitsPath,
                         UnitPlan& plan, std::string& error) {
    plan = {};
    std::string csv;
    if (!ReadWhole(unitsPath, csv)) {
        error = unitsPath + ": cannot be read";
        return PlanResult::Refused;
    }
    UnitsTable table;
    if (!ParseUnitsTable(csv, table, error)) {
        error = unitsPath + ": " + error;
        return PlanResult::Usage;
    }

    FleetUiHost ui;
    std::string templateText;
    {
        CUtilityDlg dlg(ui);
        dlg.Start();
        if (!LoadConfigurationFile(dlg, ui, templatePath, error)) {
            error = templatePath + ": " + OneLine(error);
            return PlanResult::Refused;
        }
        templateText = ConfigurationText(dlg);
        if (templateText.empty()) {
            error = templatePath + ": cannot be turned into text";
            return PlanResult::Refused;
        }
    }
    const TemplateLines lines = SplitTemplate(templateText);

    int hwColumn = -1;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const std::string& name = table.columns[c];
        if (name == kEthernetAddressColumn) {
            hwColumn = static_cast<int>(c);
        } else if (!lines.keyLine.count(name)) {
            error = unitsPath + ": unknown column \"" + name + "\"";
            return PlanResult::Usage;
        }
    }

    std::map<std::string, int> ipRows, hwRows;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const UnitsTable::Row& row = table.rows[r];
        UnitConfig unit;
        unit.row = static_cast<int>(r + 1);
        unit.line = row.line;
        if (hwColumn >= 0 && !row.fields[hwColumn].empty()) {
            unit.tiedHw = NormaliseHwAddress(row.fields[hwColumn]);
            if (unit.tiedHw.empty()) {
                error = unitsPath + ": " + Where(row, r) + ", column " + kEthernetAddressColumn +
                        ": \"" + row.fields[hwColumn] + "\" is not a hardware address";
                return PlanResult::Refused;
            }
        }
        std::vector<size_t> valueColumns;
        for (size_t c = 0; c < table.columns.size(); ++c) {
            if (static_cast<int>(c) == hwColumn) continue;
            if (row.fields[c].find_first_of("\r\n") != std::string::npos) {
                error = unitsPath + ": " + Where(row, r) + ", column " + table.columns[c] +
                        ": a value cannot span lines";
                return PlanResult::Refused;
            }
            valueColumns.push_back(c);
            unit.values.emplace_back(table.columns[c], row.fields[c]);
        }
        auto withColumns = [&](size_t count) {
            std::vector<std::string> merged = lines.lines;
            for (size_t i = 0; i < count; ++i) {
                const std::string& name = table.columns[valueColumns[i]];
                merged[lines.keyLine.at(name)] = name + ": " + row.fields[valueColumns[i]];
            }
            return JoinLines(merged);
        };
        CUtilityDlg dlg(ui);
        dlg.Start();
        std::string message;
        if (!LoadConfigurationText(dlg, ui, withColumns(valueColumns.size()), message)) {
            // Name the column: the first one whose addition the pages refuse.
            for (size_t k = 1; k <= valueColumns.size(); ++k) {
                CUtilityDlg probe(ui);
                probe.Start();
                std::string refusal;
                if (!LoadConfigurationText(probe, ui, withColumns(k), refusal)) {
                    size_t c = valueColumns[k - 1];
                    error = unitsPath + ": " + Where(row, r) + ", column " + table.columns[c] +
                            " (\"" + row.fields[c] + "\"): " + OneLine(refusal);
                    return PlanResult::Refused;
                }
            }
            error = unitsPath + ": " + Where(row, r) + ": " + OneLine(message);
            return PlanResult::Refused;
        }
        unit.text = ConfigurationText(dlg);
        if (unit.text.empty()) {
            error = unitsPath + ": " + Where(row, r) + ": cannot be turned into text";
            return PlanResult::Refused;
        }
        unit.fingerprint = Fingerprint(unit.text);
        unit.ip = dlg.Doc().GET(QorDoc::kIdIpAddress);
        unit.series = dlg.IpAddrPage().SeriesList().CurText();
        // No address (the module asks for one by BOOTP or DHCP) clashes with nothing.
        if (unit.ip != kNoAddress) {
            if (auto [it, fresh] = ipRows.emplace(unit.ip, unit.row); !fresh) {
                error = unitsPath + ": rows " + std::to_string(it->second) + " and " +
                        std::to_string(unit.row) + " give the same IP address " + unit.ip;
                return PlanResult::Refused;
            }
        }
        if (!unit.tiedHw.empty()) {
            if (auto [it, fresh] = hwRows.emplace(unit.tiedHw, unit.row); !fresh) {
                error = unitsPath + ": rows " + std::to_string(it->second) + " and " +
                        std::to_string(unit.row) + " name the same hardware address " +
                        FormatHwAddress(unit.tiedHw);
                return PlanResult::Refused;
            }
        }
        plan.units.push_back(std::move(unit));
    }
    return PlanResult::Ok;
}
