#pragma once

#include <string>
#include <vector>

// The units file of a provisioning run: CSV as RFC 4180 has it (quoted fields, doubled quotes,
// commas and line ends inside quotes, CR LF or LF), UTF-8 or ASCII. The first record names the
// columns; every other non-empty record is one unit.
struct UnitsTable {
    struct Row {
        int line = 0;  // where the record starts in the file, from 1
        std::vector<std::string> fields;
    };
    std::vector<std::string> columns;
    std::vector<Row> rows;
};

// Parses text; false with a reason naming the line when it is not a usable table: no header,
// an empty or repeated column name, a record with another number of fields than the header,
// an unterminated quote or a stray quote inside an unquoted field.
bool ParseUnitsTable(const std::string& text, UnitsTable& table, std::string& error);
