#include "fleet/unit_plan.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string_view>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

constexpr const char* kNoAddress = "000.000.000.000";
constexpr const char* kNoRows = "the table has no rows";
constexpr const char* kNotUtf8 = "not valid UTF-8";
constexpr const char* kHoldsNul = "a NUL character is not allowed";
// After the character, quoted.
constexpr const char* kNotInCharacterSet = "\" is not in the module's character set (Latin-1)";
constexpr const char* kNotHwAddress = "not a hardware address";
constexpr const char* kSpansLines = "a value cannot span lines";
constexpr const char* kNoText = "its configuration cannot be written as text";

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

// The first 12 hex digits of the text's SHA-256.
std::string Sha256Prefix(const std::string& text) {
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 6; ++i) {
        hex.push_back(digits[digest[i] >> 4]);
        hex.push_back(digits[digest[i] & 15]);
    }
    return hex;
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

// The configuration text without its information sections: what a module is given. A .dcf read
// from a module names the module there; the text file saved from it has no such place.
std::string WithoutInformation(const std::string& text) {
    std::string kept;
    bool information = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.front() == '[') {
            information = IsInformationSection(std::string(line.substr(0, line.find(']') + 1)));
        }
        if (!information) kept.append(line);
        start = end;
    }
    return kept;
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

// What a row's refused load says: the message of the check that refused a value (the last one
// shown before the load gave up), else the load's own reason without its preamble, which speaks
// of a text file: the table is none.
// message is what the load gave as its error.
std::string RowRefusal(const FleetUiHost& ui, size_t before, const std::string& message) {
    const std::vector<std::string>& shown = ui.Messages();
    if (shown.size() >= before + 2) return OneLine(shown[shown.size() - 2]);
    return message.substr(message.rfind('\n') + 1);
}

// A field of the table, UTF-8, in the module's 8-bit character set (Latin-1); false with the
// reason when it has no such form.
bool Latin1FromUtf8(const std::string& utf8, std::string& latin1, std::string& why) {
    latin1.clear();
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead == 0) {
            why = kHoldsNul;
            return false;
        }
        if (lead < 0x80) {
            latin1.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (lead >= 0xF5 || length == 0 || i + length > utf8.size()) {
            why = kNotUtf8;
            return false;
        }
        uint32_t code = lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                why = kNotUtf8;
                return false;
            }
            code = code << 6 | (next & 0x3F);
        }
        // Overlong forms and UTF-16 surrogates are not UTF-8.
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            why = kNotUtf8;
            return false;
        }
        if (code > 0xFF) {
            why = "\"" + utf8.substr(i, length) + kNotInCharacterSet;
            return false;
        }
        latin1.push_back(static_cast<char>(code));
        i += length;
    }
    return true;
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

namespace {

// After a load into dlg: false with the message shown, when there was one, or when the window
// holds no file's values, or when a page refuses what it holds (as a save or a download would).
bool LoadTaken(CUtilityDlg& dlg, FleetUiHost& ui, size_t before, std::string& error) {
    if (ui.Messages().size() != before || dlg.ValueSource() != CUtilityDlg::kFileValues) {
        error = ui.Messages().size() != before ? ui.LastMessage() : "the file was not loaded";
        return false;
    }
    if (!dlg.ValidatePages()) {
        error = ui.LastMessage();
        return false;
    }
    return true;
}

}  // namespace

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
    return LoadTaken(dlg, ui, before, error);
}

bool LoadConfigurationText(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& text,
                           std::string& error) {
    size_t before = ui.Messages().size();
    dlg.OnTextLoad(text);
    return LoadTaken(dlg, ui, before, error);
}

std::string ConfigurationText(CUtilityDlg& dlg) {
    return dlg.ConfigurationText();
}

namespace {

// Loads the template into a started window: its configuration text, empty with the reason.
std::string TemplateText(CUtilityDlg& dlg, FleetUiHost& ui, const std::string& templatePath,
                         std::string& error) {
    if (!LoadConfigurationFile(dlg, ui, templatePath, error)) {
        error = templatePath + ": " + OneLine(error);
        return {};
    }
    std::string text = ConfigurationText(dlg);
    if (text.empty()) error = templatePath + ": " + kNoText;
    return text;
}

}  // namespace

std::string TemplateFingerprint(const std::string& templatePath, std::string& error) {
    FleetUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Start();
    std::string text = TemplateText(dlg, ui, templatePath, error);
    return text.empty() ? std::string() : Sha256Prefix(WithoutInformation(text));
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
    if (table.rows.empty()) {
        error = unitsPath + ": " + kNoRows;
        return PlanResult::Usage;
    }

    // One window checks the template and every row, as a person would load one file after
    // another: the pages and the port list are built once.
    FleetUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Start();
    const std::string templateText = TemplateText(dlg, ui, templatePath, error);
    if (templateText.empty()) return PlanResult::Refused;
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

    // Every row is checked, so that one look shows all there is to mend; a problem a line.
    std::vector<std::string> problems;
    auto problem = [&](std::string text) {
        problems.push_back(unitsPath + ": " + std::move(text));
    };
    std::map<std::string, int> ipRows, hwRows;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const UnitsTable::Row& row = table.rows[r];
        // Names the row and the column, and the value when the pages refused it.
        auto refuse = [&](size_t c, const std::string& why, bool quoteValue = false) {
            problem(Where(row, r) + ", column " + table.columns[c] +
                    (quoteValue ? " (\"" + row.fields[c] + "\")" : "") + ": " + why);
        };
        UnitConfig unit;
        unit.row = static_cast<int>(r + 1);
        unit.line = row.line;
        if (hwColumn >= 0 && !row.fields[hwColumn].empty()) {
            unit.tiedHw = NormaliseHwAddress(row.fields[hwColumn]);
            if (unit.tiedHw.empty()) {
                refuse(hwColumn, kNotHwAddress, true);
                continue;
            }
        }
        std::vector<size_t> valueColumns;
        bool unreadable = false;
        for (size_t c = 0; c < table.columns.size() && !unreadable; ++c) {
            if (static_cast<int>(c) == hwColumn) continue;
            std::string value, why;
            if (row.fields[c].find_first_of("\r\n") != std::string::npos) {
                refuse(c, kSpansLines);
                unreadable = true;
            } else if (!Latin1FromUtf8(row.fields[c], value, why)) {
                refuse(c, why);
                unreadable = true;
            }
            valueColumns.push_back(c);
            unit.values.emplace_back(table.columns[c], std::move(value));
        }
        if (unreadable) continue;
        auto withColumns = [&](size_t count) {
            std::vector<std::string> merged = lines.lines;
            for (size_t i = 0; i < count; ++i) {
                const auto& [name, value] = unit.values[i];
                merged[lines.keyLine.at(name)] = name + ": " + value;
            }
            return JoinLines(merged);
        };
        size_t before = ui.Messages().size();
        std::string message;
        if (!LoadConfigurationText(dlg, ui, withColumns(valueColumns.size()), message)) {
            const std::string whole = RowRefusal(ui, before, message);
            // Name the column: the first one whose addition the pages refuse.
            bool named = false;
            for (size_t k = 1; k <= valueColumns.size() && !named; ++k) {
                before = ui.Messages().size();
                if (!LoadConfigurationText(dlg, ui, withColumns(k), message)) {
                    refuse(valueColumns[k - 1], RowRefusal(ui, before, message), true);
                    named = true;
                }
            }
            if (!named) problem(Where(row, r) + ": " + whole);
            continue;
        }
        unit.text = ConfigurationText(dlg);
        unit.fingerprint = Fingerprint(unit.text);
        unit.ip = dlg.Doc().GET(QorDoc::kIdIpAddress);
        unit.series = dlg.IpAddrPage().SeriesList().CurText();
        // No address (the module asks for one by BOOTP or DHCP) clashes with nothing.
        if (unit.ip != kNoAddress) {
            if (auto [it, fresh] = ipRows.emplace(unit.ip, unit.row); !fresh)
                problem("rows " + std::to_string(it->second) + " and " + std::to_string(unit.row) +
                        " give the same IP address " + unit.ip);
        }
        if (!unit.tiedHw.empty()) {
            if (auto [it, fresh] = hwRows.emplace(unit.tiedHw, unit.row); !fresh)
                problem("rows " + std::to_string(it->second) + " and " + std::to_string(unit.row) +
                        " name the same hardware address " + FormatHwAddress(unit.tiedHw));
        }
        plan.units.push_back(std::move(unit));
    }
    if (!problems.empty()) {
        plan.units.clear();
        error.clear();
        for (const std::string& p : problems)
            error += (error.empty() ? "" : "\n") + p;
        return PlanResult::Refused;
    }
    plan.fingerprint = Sha256Prefix(WithoutInformation(templateText));
    return PlanResult::Ok;
}
