#include "fleet/units_table.h"

#include <gtest/gtest.h>

namespace {

struct Good {
    const char* name;
    std::string csv;
    std::vector<std::vector<std::string>> rows;  // header first
};

TEST(UnitsTableTest, ReadsRfc4180) {
    const Good cases[] = {
        {"crlf",
         "IPAddress,From\r\n10.0.0.1,a@b.c\r\n",
         {{"IPAddress", "From"}, {"10.0.0.1", "a@b.c"}}},
        {"lf and no last line end", "A,B\n1,2\n3,4", {{"A", "B"}, {"1", "2"}, {"3", "4"}}},
        {"quoted comma, quote and line end",
         "A,B\n\"x, y\",\"say \"\"hi\"\"\"\n\"two\r\nlines\",\n",
         {{"A", "B"}, {"x, y", "say \"hi\""}, {"two\r\nlines", ""}}},
        {"byte-order mark and empty lines",
         "\xEF\xBB\xBF"
         "A\n\n1\n\n",
         {{"A"}, {"1"}}},
        {"empty fields", "A,B,C\n,,\n", {{"A", "B", "C"}, {"", "", ""}}},
        {"utf-8 kept as bytes", "A\nK\xC3\xB6ln\n", {{"A"}, {"K\xC3\xB6ln"}}},
    };
    for (const Good& c : cases) {
        UnitsTable t;
        std::string error;
        ASSERT_TRUE(ParseUnitsTable(c.csv, t, error)) << c.name << ": " << error;
        std::vector<std::vector<std::string>> got = {t.columns};
        for (const auto& r : t.rows)
            got.push_back(r.fields);
        EXPECT_EQ(got, c.rows) << c.name;
    }
}

TEST(UnitsTableTest, RefusesWhatIsNotATableNamingTheLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "no header line"},
        {"A,B\n1,2\n3\n", "line 3: 1 fields where the header has 2"},
        {"A,B\n1,2,3\n", "line 2: 3 fields where the header has 2"},
        {"A\n\"open\n", "line 2: a quoted field is not closed"},
        {"A\n\"x\"y\n", "line 2: text after a closing quote"},
        {"A\nx\"y\n", "line 2: a quote inside an unquoted field"},
        {"A,,B\n", "line 1: an empty column name"},
        {"A,A\n", "line 1: column \"A\" appears twice"},
        // After a quoted field spanning lines, with each kind of line end.
        {"A,B\n\"x\ny\",1\n3\n", "line 4: 1 fields where the header has 2"},
        {"A,B\r\n\"x\r\ny\",1\r\n3\r\n", "line 4: 1 fields where the header has 2"},
        {"A,B\r\"x\ry\",1\r3\r", "line 4: 1 fields where the header has 2"},
        {"A\n\"x\n\n\"y\n", "line 4: text after a closing quote"},
    };
    for (const auto& [csv, message] : cases) {
        UnitsTable t;
        std::string error;
        EXPECT_FALSE(ParseUnitsTable(csv, t, error)) << csv;
        EXPECT_EQ(error, message) << csv;
    }
}

}  // namespace
