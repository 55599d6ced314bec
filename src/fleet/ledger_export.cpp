#include "fleet/ledger_export.h"

#include "fleet/json_text.h"

namespace {

// Columns added later come last, after the columns scripts already read.
constexpr const char* kColumns[] = {"row",      "ip",       "hw",       "port",  "firmware",
                                    "series",   "assigned", "finished", "state", "outcome",
                                    "template", "station",  "batch"};

std::vector<std::string> Fields(const Ledger::Entry& e) {
    return {std::to_string(e.row),
            e.ip,
            e.hw,
            e.port,
            e.firmware,
            e.series,
            e.assignedAt,
            e.finishedAt,
            e.state,
            e.outcome,
            e.templateFingerprint,
            e.station,
            e.batch};
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

}  // namespace

std::string LedgerCsv(const std::vector<Ledger::Entry>& entries) {
    std::string text;
    for (size_t i = 0; i < std::size(kColumns); ++i)
        text += (i ? "," : "") + std::string(kColumns[i]);
    text += "\r\n";
    for (const Ledger::Entry& e : entries) {
        std::vector<std::string> f = Fields(e);
        for (size_t i = 0; i < f.size(); ++i)
            text += (i ? "," : "") + CsvField(f[i]);
        text += "\r\n";
    }
    return text;
}

std::string LedgerJson(const std::vector<Ledger::Entry>& entries) {
    std::string text;
    for (const Ledger::Entry& e : entries) {
        std::vector<std::string> f = Fields(e);
        nlohmann::ordered_json j = nlohmann::ordered_json::object();
        j["row"] = e.row;
        for (size_t i = 1; i < f.size(); ++i)
            j[kColumns[i]] = JsonText(f[i]);
        text += JsonLine(j) + "\n";
    }
    return text;
}
