#include "fleet/units_table.h"

#include <set>

namespace {

struct Record {
    int line = 0;
    std::vector<std::string> fields;
};

// Splits the text into records; quoted fields may hold commas, quotes (doubled) and line ends.
bool SplitRecords(const std::string& text, std::vector<Record>& records, std::string& error) {
    size_t i = 0;
    int line = 1;
    // A UTF-8 byte-order mark is not part of the first column's name.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    while (i < text.size()) {
        Record record;
        record.line = line;
        bool more = true;
        while (more) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                int opened = line;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        error = "line " + std::to_string(opened) + ": a quoted field is not closed";
                        return false;
                    }
                    char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            field.push_back('"');
                            ++i;
                            continue;
                        }
                        break;
                    }
                    // A line end inside the field: LF, CR LF or a lone CR.
                    if (c == '\n' || (c == '\r' && (i >= text.size() || text[i] != '\n'))) ++line;
                    field.push_back(c);
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    error = "line " + std::to_string(line) + ": text after a closing quote";
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"') {
                        error =
                            "line " + std::to_string(line) + ": a quote inside an unquoted field";
                        return false;
                    }
                    field.push_back(text[i++]);
                }
            }
            record.fields.push_back(std::move(field));
            if (i < text.size() && text[i] == ',') {
                ++i;
            } else {
                more = false;
            }
        }
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        ++line;
        // An empty line (or the end after a last line end) is no record.
        if (record.fields.size() == 1 && record.fields[0].empty()) continue;
        records.push_back(std::move(record));
    }
    return true;
}

}  // namespace

bool ParseUnitsTable(const std::string& text, UnitsTable& table, std::string& error) {
    table = {};
    std::vector<Record> records;
    if (!SplitRecords(text, records, error)) return false;
    if (records.empty()) {
        error = "no header line";
        return false;
    }
    std::set<std::string> seen;
    for (const std::string& name : records[0].fields) {
        if (name.empty()) {
            error = "line " + std::to_string(records[0].line) + ": an empty column name";
            return false;
        }
        if (!seen.insert(name).second) {
            error = "line " + std::to_string(records[0].line) + ": column \"" + name +
                    "\" appears twice";
            return false;
        }
    }
    table.columns = records[0].fields;
    for (size_t r = 1; r < records.size(); ++r) {
        if (records[r].fields.size() != table.columns.size()) {
            error = "line " + std::to_string(records[r].line) + ": " +
                    std::to_string(records[r].fields.size()) + " fields where the header has " +
                    std::to_string(table.columns.size());
            return false;
        }
        table.rows.push_back({records[r].line, std::move(records[r].fields)});
    }
    return true;
}
