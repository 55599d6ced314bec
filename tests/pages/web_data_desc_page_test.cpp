#include <gtest/gtest.h>

#include <string>

#include "app/utility_dlg.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "support/started_window.h"

namespace {

std::string ChangedName(int row) { return "Tank " + std::to_string(row) + " level in litres"; }

class WebDataDescPageTest : public ::testing::Test, public StartedWindow {
protected:
    CWebDataDescPage& page = dlg.WebDataDescPage();
    CGridCtrl& grid = page.Grid();

    std::string Cell(int row) const { return grid.GetCellText(row, 1); }

    // The user edits a value cell in place and presses Enter.
    void Edit(int row, const std::string& text) { EditCell(grid, row, 1, text, kKeyF2); }
    void ChangeEveryField() {
        for (int row = 1; row <= 40; ++row) Edit(row, ChangedName(row));
    }
    void ExpectDefaults() {
        for (int row = 1; row <= 40; ++row) EXPECT_EQ(Cell(row), "") << row;
    }
    void ExpectChanged() {
        for (int row = 1; row <= 40; ++row) EXPECT_EQ(Cell(row), ChangedName(row)) << row;
    }

};

std::string DefaultSection() {
    std::string s = "\r\n[WebDataDesc]\r\n";
    const char* numbers[] = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10",
                             "11", "12", "13", "14", "15", "16", "17", "18", "19", "20",
                             "21", "22", "23", "24", "25", "26", "27", "28", "29", "30",
                             "31", "32", "33", "34", "35", "36", "37", "38", "39", "40"};
    for (const char* n : numbers) s += std::string("WebDataDesc") + n + ": \r\n";
    return s;
}

}  // namespace

TEST_F(WebDataDescPageTest, ShowsFortyEmptyNamesOfFourPagesOfTenRows) {
    ASSERT_EQ(grid.GetRowCount(), 41);
    ASSERT_EQ(grid.GetColumnCount(), 2);
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_EQ(grid.GetFixedColumnCount(), 1);
    EXPECT_EQ(grid.GetCellText(0, 0), "Location");
    EXPECT_EQ(grid.GetCellText(0, 1), "Value");
    struct {
        int row;
        const char* name;
        int id;
        const char* key;
    } const samples[] = {{1, "Page 1 Row 1 Name", 130, "WebDataDesc01: "},
                         {10, "Page 1 Row 10 Name", 139, "WebDataDesc10: "},
                         {11, "Page 2 Row 1 Name", 140, "WebDataDesc11: "},
                         {25, "Page 3 Row 5 Name", 154, "WebDataDesc25: "},
                         {40, "Page 4 Row 10 Name", 169, "WebDataDesc40: "}};
    for (const auto& s : samples) {
        EXPECT_EQ(grid.GetCellText(s.row, 0), s.name);
        EXPECT_EQ(page.RowInfo(s.row).id, s.id);
        EXPECT_EQ(page.Key(s.row), s.key);
    }
    for (int row = 1; row <= 40; ++row) {
        EXPECT_STREQ(grid.GetCell(row, 1)->GetRuntimeClass().className, "CGridCellWebDefault");
        EXPECT_TRUE(grid.IsCellEditable(row, 1));
        EXPECT_FALSE(grid.IsCellEditable(row, 0));
    }
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebDataDescPageTest, MovesRowsToAndFromIdentifiers130To169) {
    QorDoc& doc = dlg.Doc();
    doc.ClearQueue();
    page.QueueParameters(doc);
    ASSERT_EQ(doc.QueueCount(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(doc.Queue()[i], QorDoc::KeyOf(130 + i));

    for (int id = 130; id <= 169; ++id) doc.SET(id, "name " + std::to_string(id));
    EXPECT_TRUE(page.DiffersFromDocument(doc));
    page.LoadFromDocument(doc);
    EXPECT_EQ(Cell(1), "name 130");
    EXPECT_EQ(Cell(40), "name 169");
    EXPECT_FALSE(page.DiffersFromDocument(doc));

    Edit(11, "Pressure");
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    dlg.StoreAllPages();
    EXPECT_EQ(doc.GET(140), "Pressure");
    EXPECT_EQ(doc.GET(100), "QORW Home Page");  // the page next door keeps its own
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebDataDescPageTest, AcceptsSpacesAndRefusesTheFortySixthCharacter) {
    std::string longest(45, 'n');
    Edit(7, "Tank level north side");
    EXPECT_EQ(Cell(7), "Tank level north side");
    Edit(8, longest);
    EXPECT_EQ(Cell(8), longest);
    // Pasting is the way past the editor's own limit.
    ui.clipboard = longest + "x";
    grid.SetFocusCell(8, 1);
    grid.SetSelectedRange({8, 1, 8, 1});
    ui.ExpectMessage();
    grid.Paste();
    EXPECT_EQ(ui.LastMessage(), "Length cannot exceed 45 characters.");
    EXPECT_EQ(Cell(8), longest);
}

TEST_F(WebDataDescPageTest, WritesTheDefaultSectionOfFortyTwoLines) {
    CTextOutFile out;
    page.WriteSection(out, dlg.Doc());
    EXPECT_EQ(out.Text(), DefaultSection());
    size_t lines = 0;
    for (size_t at = 0; (at = out.Text().find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 42u);
    // The section closes the file written by the save.
    std::string text = SaveText();
    ASSERT_GE(text.size(), DefaultSection().size());
    EXPECT_EQ(text.substr(text.size() - DefaultSection().size()), DefaultSection());
}

TEST_F(WebDataDescPageTest, TextRoundTripWithEveryFieldChanged) {
    ChangeEveryField();
    std::string text = SaveText();
    dlg.OnDefaults();
    ExpectDefaults();
    LoadTextBytes(text);
    ExpectChanged();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    EXPECT_EQ(dlg.Doc().GET(169), ChangedName(40));
    EXPECT_EQ(SaveText(), text);
}

TEST_F(WebDataDescPageTest, VersionTwoFilesAreNotReadAndVersionThreeMustHoldAllForty) {
    ChangeEveryField();
    {
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(dir.Write("v2.txt", "[QorConfiguration]\r\nVersion: 2\r\n")));
        page.ReadSection(reader);
        ExpectChanged();
    }
    {
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(
            dir.Write("v3.txt", "[QorConfiguration]\r\nVersion: 3\r\n" + DefaultSection())));
        page.ReadSection(reader);
        ExpectDefaults();
    }
    ChangeEveryField();
    {
        // A version 3 file without the section.
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(dir.Write("v3.txt", "[QorConfiguration]\r\nVersion: 3\r\n")));
        try {
            page.ReadSection(reader);
            ADD_FAILURE() << "no abort";
        } catch (const ZUVException& e) {
            EXPECT_EQ(e.Message(),
                      "Text file load ABORTED!\nFailed to locate \"[WebDataDesc]\" section.");
        }
        ExpectChanged();
    }
}

TEST_F(WebDataDescPageTest, LinesOutOfOrderAbortWithTheMissingKey) {
    std::string text = SaveText();
    // Lines 12 and 13 swapped: line 12 is looked for where 13 stands.
    std::string swapped = ReplaceLine(ReplaceLine(text, "WebDataDesc13: ", "WebDataDesc12: a"),
                                      "WebDataDesc12: ", "WebDataDesc13: b");
    ChangeEveryField();
    ui.ExpectMessage();
    LoadTextBytes(swapped);
    EXPECT_EQ(ui.LastMessage(),
              "Text file load ABORTED!\nFailed to locate \"WebDataDesc12: \" parameter.");
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebDataDescPageTest, AbortsOnANameOfFortySixCharacters) {
    std::string text = SaveText();
    ChangeEveryField();
    ui.ExpectMessage();
    ui.ExpectMessage();
    LoadTextBytes(ReplaceLine(text, "WebDataDesc33: ", "WebDataDesc33: " + std::string(46, 'x')));
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[0].text, "Length cannot exceed 45 characters.");
    EXPECT_EQ(ui.Messages()[1].text,
              "Text file load ABORTED!\nDefault values loaded.\n\"WebDataDesc33: \" parameter in "
              "error.");
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebDataDescPageTest, DcfRoundTripWithEveryFieldChanged) {
    ChangeEveryField();
    std::string bytes = SaveDcf();
    CDcfArchive tail = CDcfArchive::ForStoring();
    for (int row = 1; row <= 40; ++row) tail.WriteText(ChangedName(row));
    ASSERT_GE(bytes.size(), tail.Bytes().size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.Bytes().size()), tail.Bytes());

    dlg.OnDefaults();
    grid.MarkModified(false);  // the edits' marks gone
    LoadDcfBytes(bytes);
    ExpectChanged();
    for (int row = 1; row <= 40; ++row) EXPECT_FALSE(grid.IsModified(row, 1));
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    EXPECT_EQ(SaveDcf(), bytes);
}

TEST_F(WebDataDescPageTest, ADcfCutShortInsideTheRecordKeepsTheNamesReadSoFar) {
    ChangeEveryField();
    std::string bytes = SaveDcf();
    dlg.OnDefaults();
    // Cut inside the text of row 21.
    CDcfArchive tail = CDcfArchive::ForStoring();
    for (int row = 21; row <= 40; ++row) tail.WriteText(ChangedName(row));
    bytes.resize(bytes.size() - tail.Bytes().size() + 3);
    ui.ExpectMessage();
    LoadDcfBytes(bytes);
    EXPECT_EQ(ui.LastMessage(), "End of file reached");
    for (int row = 1; row <= 20; ++row) EXPECT_EQ(Cell(row), ChangedName(row));
    for (int row = 21; row <= 40; ++row) EXPECT_EQ(Cell(row), "");
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}
