#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"
#include "support/started_window.h"

namespace {

struct RowSpec {
    int row;
    const char* name;
    const char* cellClass;
    const char* value;
    int id;
};

// The table of the page as the module's web pages define it.
const RowSpec kRows[] = {
    {1, "Home Page Title", "CGridCellWebDefault", "QORW Home Page", 100},
    {2, "Link 1 Text", "CGridCellWebDefault", "User Defined URL 1", 102},
    {3, "Link 1 URL", "CGridCellWebURL", "", 103},
    {4, "Link 2 Text", "CGridCellWebDefault", "User Defined URL 2", 104},
    {5, "Link 2 URL", "CGridCellWebURL", "", 105},
    {6, "Link 3 Text", "CGridCellWebDefault", "User Defined URL 3", 106},
    {7, "Link 3 URL", "CGridCellWebURL", "", 107},
    {8, "Link 4 Text", "CGridCellWebDefault", "User Defined URL 4", 108},
    {9, "Link 4 URL", "CGridCellWebURL", "", 109},
    {10, "Link 5 Text", "CGridCellWebDefault", "User Defined URL 5", 110},
    {11, "Link 5 URL", "CGridCellWebURL", "", 111},
    {12, "Link 6 Text", "CGridCellWebDefault", "User Defined URL 6", 112},
    {13, "Link 6 URL", "CGridCellWebURL", "", 113},
    {14, "Link 7 Text", "CGridCellWebDefault", "User Defined URL 7", 114},
    {15, "Link 7 URL", "CGridCellWebURL", "", 115},
    {16, "Link 8 Text", "CGridCellWebDefault", "User Defined URL 8", 116},
    {17, "Link 8 URL", "CGridCellWebURL", "", 117},
    {18, "Link 9 Text", "CGridCellWebDefault", "User Defined URL 9", 118},
    {19, "Link 9 URL", "CGridCellWebURL", "", 119},
    {20, "Link 10 Text", "CGridCellWebDefault", "User Defined URL 10", 120},
    {21, "Link 10 URL", "CGridCellWebURL", "", 121},
    {22, "Page 1 Title", "CGridCellWebDefault", "QORW Page 1 of 4", 122},
    {23, "Page 1 Password", "CGridCellWebPassword", "", 123},
    {24, "Page 2 Title", "CGridCellWebDefault", "QORW Page 2 of 4", 124},
    {25, "Page 2 Password", "CGridCellWebPassword", "", 125},
    {26, "Page 3 Title", "CGridCellWebDefault", "QORW Page 3 of 4", 126},
    {27, "Page 3 Password", "CGridCellWebPassword", "", 127},
    {28, "Page 4 Title", "CGridCellWebDefault", "QORW Page 4 of 4", 128},
    {29, "Page 4 Password", "CGridCellWebPassword", "", 129},
};

const char kDefaultSection[] =
    "\r\n[WebConfig]\r\n"
    "WebConfig01: QORW Home Page\r\n"
    "WebConfig02: User Defined URL 1\r\n"
    "WebConfig03: \r\n"
    "WebConfig04: User Defined URL 2\r\n"
    "WebConfig05: \r\n"
    "WebConfig06: User Defined URL 3\r\n"
    "WebConfig07: \r\n"
    "WebConfig08: User Defined URL 4\r\n"
    "WebConfig09: \r\n"
    "WebConfig10: User Defined URL 5\r\n"
    "WebConfig11: \r\n"
    "WebConfig12: User Defined URL 6\r\n"
    "WebConfig13: \r\n"
    "WebConfig14: User Defined URL 7\r\n"
    "WebConfig15: \r\n"
    "WebConfig16: User Defined URL 8\r\n"
    "WebConfig17: \r\n"
    "WebConfig18: User Defined URL 9\r\n"
    "WebConfig19: \r\n"
    "WebConfig20: User Defined URL 10\r\n"
    "WebConfig21: \r\n"
    "WebConfig22: QORW Page 1 of 4\r\n"
    "WebConfig23: \r\n"
    "WebConfig24: QORW Page 2 of 4\r\n"
    "WebConfig25: \r\n"
    "WebConfig26: QORW Page 3 of 4\r\n"
    "WebConfig27: \r\n"
    "WebConfig28: QORW Page 4 of 4\r\n"
    "WebConfig29: \r\n";

constexpr const char* kAbortPrefix = "Text file load ABORTED!\nDefault values loaded.\n\"";

// A value that its row's cell accepts and that differs from every default.
std::string ChangedValue(int row) {
    const std::string cls = kRows[row - 1].cellClass;
    if (cls == "CGridCellWebURL") return "http://qor" + std::to_string(row) + ".example/x";
    if (cls == "CGridCellWebPassword") return "pw" + std::to_string(row) + "xyz";
    return "Changed title of row " + std::to_string(row);
}

class WebConfigPageTest : public ::testing::Test, public StartedWindow {
protected:
    CWebConfigPage& page = dlg.WebConfigPage();
    CGridCtrl& grid = page.Grid();

    std::string Cell(int row) const { return grid.GetCellText(row, 1); }

    // The user edits a value cell in place and presses Enter.
    void Edit(int row, const std::string& text) { EditCell(grid, row, 1, text, kKeyF2); }

    void ChangeEveryField() {
        for (int row = 1; row <= 29; ++row)
            Edit(row, ChangedValue(row));
    }

    void ExpectDefaults() {
        for (const RowSpec& r : kRows)
            EXPECT_EQ(Cell(r.row), r.value) << r.name;
    }
    void ExpectChanged() {
        for (int row = 1; row <= 29; ++row)
            EXPECT_EQ(Cell(row), ChangedValue(row)) << row;
    }
};

}  // namespace

TEST_F(WebConfigPageTest, ShowsTheTableOfRowsWithTheirCellClassesAndDefaults) {
    ASSERT_EQ(grid.GetRowCount(), 30);
    ASSERT_EQ(grid.GetColumnCount(), 2);
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_EQ(grid.GetFixedColumnCount(), 1);
    EXPECT_EQ(grid.GetCellText(0, 0), "Definition");
    EXPECT_EQ(grid.GetCellText(0, 1), "Value");
    for (const RowSpec& r : kRows) {
        EXPECT_EQ(grid.GetCellText(r.row, 0), r.name);
        EXPECT_STREQ(grid.GetCell(r.row, 1)->GetRuntimeClass().className, r.cellClass) << r.name;
        EXPECT_EQ(Cell(r.row), r.value);
        EXPECT_TRUE(grid.IsCellEditable(r.row, 1)) << r.name;
        EXPECT_FALSE(grid.IsCellEditable(r.row, 0)) << r.name;
        EXPECT_EQ(page.RowInfo(r.row).id, r.id);
    }
    const uint32_t centred = CellFormat::kCenter | CellFormat::kVCenter | CellFormat::kSingleLine |
                             CellFormat::kEndEllipsis;
    for (int row = 0; row < 30; ++row)
        for (int col = 0; col < 2; ++col)
            EXPECT_EQ(grid.GetCellFormat(row, col), centred);
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebConfigPageTest, MovesRowsToAndFromTheDocumentButNeverIdentifier101) {
    QorDoc& doc = dlg.Doc();
    for (const RowSpec& r : kRows)
        EXPECT_EQ(doc.GET(r.id), r.value) << r.id;
    EXPECT_EQ(doc.GET(101), "");

    // 101 is no row's: storing leaves it and comparing ignores it.
    doc.SET(101, "someone else's");
    EXPECT_FALSE(page.DiffersFromDocument(doc));
    dlg.StoreAllPages();
    EXPECT_EQ(doc.GET(101), "someone else's");

    for (const RowSpec& r : kRows)
        doc.SET(r.id, "doc " + std::to_string(r.id));
    EXPECT_TRUE(page.DiffersFromDocument(doc));
    page.LoadFromDocument(doc);
    for (const RowSpec& r : kRows)
        EXPECT_EQ(Cell(r.row), "doc " + std::to_string(r.id));
    EXPECT_FALSE(page.DiffersFromDocument(doc));

    // Case counts.
    doc.SET(129, "DOC 129");
    EXPECT_TRUE(page.DiffersFromDocument(doc));
}

TEST_F(WebConfigPageTest, QueuesItsThirtyParametersInAscendingOrder) {
    QorDoc& doc = dlg.Doc();
    doc.ClearQueue();
    page.QueueParameters(doc);
    ASSERT_EQ(doc.QueueCount(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(doc.Queue()[i], QorDoc::KeyOf(100 + i));
}

TEST_F(WebConfigPageTest, StoresWithTheForceOfTheDownloadBehaviour) {
    QorDoc& doc = dlg.Doc();
    // Values read from the module are queued again only when changed or forced.
    for (const RowSpec& r : kRows)
        doc.ParamOf(QorDoc::KeyOf(r.id))->fromDevice = true;
    doc.ClearQueue();
    Edit(5, "www.example.com");
    page.StoreToDocument(doc, false);
    ASSERT_EQ(doc.QueueCount(), 1u);
    EXPECT_EQ(doc.Queue()[0], QorDoc::KeyOf(105));
    doc.ClearQueue();
    page.StoreToDocument(doc, true);
    EXPECT_EQ(doc.QueueCount(), 29u);
    EXPECT_FALSE(doc.IsQueued(QorDoc::KeyOf(101)));
}

TEST_F(WebConfigPageTest, AnAcceptedEditShowsModifiedAndARefusedOneKeepsTheOldValue) {
    Edit(3, "www.qor.example");
    EXPECT_EQ(Cell(3), "www.qor.example");
    EXPECT_TRUE(grid.IsModified(3, 1));
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");

    ui.ExpectMessage();
    Edit(23, "ninechars");
    EXPECT_EQ(ui.LastMessage(), "Length cannot exceed 8 characters.");
    EXPECT_EQ(Cell(23), "");
    EXPECT_FALSE(grid.IsModified(23, 1));

    // Back to the document's value: no longer modified.
    Edit(3, "");
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebConfigPageTest, WritesTheDefaultSectionLineForLine) {
    CTextOutFile out;
    page.WriteSection(out, dlg.Doc());
    EXPECT_EQ(out.Text(), kDefaultSection);
    // 31 lines: the empty one, the header and 29 values.
    size_t lines = 0;
    for (size_t at = 0; (at = out.Text().find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, 31u);
}

TEST_F(WebConfigPageTest, AnEditStillOpenIsTakenIntoTheTextFile) {
    grid.SetFocusCell(1, 1);
    ASSERT_TRUE(grid.StartEdit(1, 1, kKeyF2));
    grid.GetEditor()->TextEdited("Open edit", 9, 9);
    std::string text = SaveText();
    EXPECT_NE(text.find("\r\nWebConfig01: Open edit\r\n"), std::string::npos);
    EXPECT_EQ(grid.GetEditor(), nullptr);
}

TEST_F(WebConfigPageTest, TextRoundTripWithEveryFieldChanged) {
    ChangeEveryField();
    std::string text = SaveText();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    dlg.OnDefaults();
    ExpectDefaults();

    LoadTextBytes(text);
    ExpectChanged();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    for (int row = 1; row <= 29; ++row) {
        EXPECT_TRUE(grid.IsModified(row, 1)) << row;
        EXPECT_EQ(dlg.Doc().GET(page.RowInfo(row).id), ChangedValue(row));
    }
    EXPECT_EQ(SaveText(), text);
}

TEST_F(WebConfigPageTest, ReadsItsSectionOnlyFromFilesOfVersionThreeAndFour) {
    std::string section = kDefaultSection;
    struct Case {
        const char* version;
        bool reads;
    };
    const Case cases[] = {{"Version: 1\r\n", false},
                          {"Version: 2\r\n", false},
                          {"Junk\r\n", false},
                          {"Version: 3\r\n", true},
                          {"Version: 4\r\n", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        ChangeEveryField();
        // Versions 1 and 2 are not even searched for the section.
        std::string body = c.reads ? section : std::string("\r\n[Other]\r\n");
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(
            dir.Write("v.txt", std::string("[QorConfiguration]\r\n") + c.version + body)));
        page.ReadSection(reader);
        if (c.reads) {
            ExpectDefaults();
        } else {
            ExpectChanged();
        }
    }
}

TEST_F(WebConfigPageTest, ReadsLinesWithLoneLineEndsAndEmptyLinesBetween) {
    std::string section = kDefaultSection;
    std::string lf;
    for (char c : section)
        if (c != '\r') lf += c;
    ChangeEveryField();
    CConfigTextReader reader(ui);
    ASSERT_TRUE(reader.OpenFile(
        dir.Write("lf.txt", "[QorConfiguration]\nVersion: 3\n\n\n[X]\nY: z\n" + lf)));
    page.ReadSection(reader);
    ExpectDefaults();
}

TEST_F(WebConfigPageTest, AbortsOnAUrlWithASpaceAndLeavesEveryPageOnDefaults) {
    std::string defaults = SaveText();
    ChangeEveryField();
    ui.ExpectMessage();
    ui.ExpectMessage();
    LoadTextBytes(ReplaceLine(defaults, "WebConfig03: ", "WebConfig03: www.qor example.com"));
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[0].text, "Spaces not allowed.");
    EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::Exclamation);
    EXPECT_EQ(ui.Messages()[1].text,
              std::string(kAbortPrefix) + "WebConfig03: \" parameter in error.");
    EXPECT_EQ(ui.Messages()[1].icon, UiHost::Icon::None);
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_EQ(SaveText(), defaults);
}

TEST_F(WebConfigPageTest, AbortsOnAPasswordOfNineCharacters) {
    std::string defaults = SaveText();
    ChangeEveryField();
    ui.ExpectMessage();
    ui.ExpectMessage();
    LoadTextBytes(ReplaceLine(defaults, "WebConfig23: ", "WebConfig23: 123456789"));
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[0].text, "Length cannot exceed 8 characters.");
    EXPECT_EQ(ui.Messages()[1].text,
              std::string(kAbortPrefix) + "WebConfig23: \" parameter in error.");
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_EQ(SaveText(), defaults);
}

TEST_F(WebConfigPageTest, AbortsOnAMissingLine) {
    std::string defaults = SaveText();
    ChangeEveryField();
    ui.ExpectMessage();
    LoadTextBytes(ReplaceLine(defaults, "WebConfig17: ", ""));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.LastMessage(),
              "Text file load ABORTED!\nFailed to locate \"WebConfig17: \" parameter.");
    ExpectDefaults();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(WebConfigPageTest, DcfRoundTripWithEveryFieldChanged) {
    ChangeEveryField();
    std::string bytes = SaveDcf();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    dlg.OnDefaults();
    ExpectDefaults();

    grid.MarkModified(false);  // the edits' marks gone
    LoadDcfBytes(bytes);
    ExpectChanged();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    // A .dcf load marks nothing.
    for (int row = 1; row <= 29; ++row)
        EXPECT_FALSE(grid.IsModified(row, 1)) << row;
    EXPECT_EQ(SaveDcf(), bytes);
}

TEST_F(WebConfigPageTest, StoresTheRecordAsTwentyNineTextsAtTheEndBeforeTheDataDescriptions) {
    ChangeEveryField();
    std::string bytes = SaveDcf();
    CDcfArchive expected = CDcfArchive::ForStoring();
    for (int row = 1; row <= 29; ++row)
        expected.WriteText(ChangedValue(row));
    for (int r = 1; r <= 40; ++r)
        expected.WriteText("");
    ASSERT_GE(bytes.size(), expected.Bytes().size());
    EXPECT_EQ(bytes.substr(bytes.size() - expected.Bytes().size()), expected.Bytes());
}

TEST_F(WebConfigPageTest, ReadsItsDcfRecordOnlyFromFilesOfVersionThreeAndFour) {
    for (int version : {1, 2, 3, 4}) {
        SCOPED_TRACE(version);
        ChangeEveryField();
        CDcfArchive record = CDcfArchive::ForStoring();
        for (int row = 1; row <= 29; ++row)
            record.WriteText("v" + std::to_string(row));
        record.WriteText("next record");
        CDcfArchive ar = CDcfArchive::ForLoading(record.Bytes());
        dlg.DcfVersion() = version;
        page.ExchangeDcf(ar);
        if (version <= 2) {
            ExpectChanged();
            EXPECT_EQ(ar.ReadText(), "v1") << "nothing read";
        } else {
            for (int row = 1; row <= 29; ++row)
                EXPECT_EQ(Cell(row), "v" + std::to_string(row));
            EXPECT_EQ(ar.ReadText(), "next record");
        }
    }
}

// A text that a text file could not carry back (a line break or a NUL) makes the .dcf malformed:
// the page keeps what it showed. A TAB breaks neither file: it loads from both and saves back.
TEST_F(WebConfigPageTest, DcfTextsTheTextFileCannotCarryAreRefusedATabLoadsFromBoth) {
    ChangeEveryField();
    const std::string good = SaveDcf();
    ASSERT_NE(good.find(ChangedValue(28)), std::string::npos);
    auto withTitle = [&](const std::string& text) {
        std::string bytes = good;
        const size_t at = bytes.find(ChangedValue(28)) - 1;
        bytes.replace(at, 1 + ChangedValue(28).size(), std::string(1, char(text.size())) + text);
        return bytes;
    };
    for (const std::string& bad :
         {std::string("Line\r\nWebConfig29: x"), std::string("Cut\0x", 5)}) {
        dlg.OnDefaults();
        ui.AllowMessages();
        LoadDcfBytes(withTitle(bad));
        EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Control characters not allowed.",
                                                               "Invalid file format"}));
        ui.AllowMessages(false);
        ui.ClearMessages();
        ExpectDefaults();
        EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    }
    LoadDcfBytes(withTitle("Tank\tNorth"));
    EXPECT_EQ(Cell(28), "Tank\tNorth");
    const std::string text = SaveText();
    dlg.OnDefaults();
    LoadTextBytes(text);
    EXPECT_EQ(Cell(28), "Tank\tNorth");
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
}

namespace {

// The module's 84-byte form of a text: the count, then the characters pairwise swapped.
std::vector<uint8_t> DeviceText(const std::string& text) {
    std::vector<uint8_t> form(84, 0);
    form[0] = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        form[2 + (i ^ 1)] = static_cast<uint8_t>(text[i]);
    return form;
}

}  // namespace

// Both web pages against the simulated module: a full upload shows the module's texts, and
// "QOR R&OM" writes the edited ones and leaves them in the module's ROM.
TEST(WebPagesOnTheModule, UploadShowsTheModulesTextsAndRomKeepsTheEditedOnes) {
    SimOptions o;
    o.restartSilenceMs = 50;
    o.announceIntervalMs = 50;
    SimModule sim(o);
    ASSERT_TRUE(sim.Start());
    setenv("QORW_COM17", sim.SlavePath().c_str(), 1);
    sim.SetRam(1, DeviceText("Plant home"));
    sim.SetRam(2, DeviceText("no row's"));  // identifier 101
    sim.SetRam(3, DeviceText("Link one"));
    sim.SetRam(30, DeviceText("pw4"));
    sim.SetRam(31, DeviceText("Tank A"));
    sim.SetRam(70, DeviceText("Last name"));

    SerialChannel channel;
    ScriptedUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Doc().AttachChannel(channel);
    dlg.Start();
    dlg.Link().comPort = 17;
    dlg.Link().pcBaudIndex = 0;

    dlg.OnQor();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    ASSERT_EQ(dlg.StatusField().Text(), "Device Values");
    CWebConfigPage& web = dlg.WebConfigPage();
    CWebDataDescPage& desc = dlg.WebDataDescPage();
    EXPECT_EQ(web.Value(1), "Plant home");
    EXPECT_EQ(web.Value(2), "Link one");
    EXPECT_EQ(web.Value(29), "pw4");
    EXPECT_EQ(desc.Value(1), "Tank A");
    EXPECT_EQ(desc.Value(40), "Last name");
    EXPECT_EQ(dlg.Doc().GET(101), "no row's");
    for (int row = 1; row <= 29; ++row)
        EXPECT_NE(web.Value(row), "no row's");

    auto edit = [](CGridCtrl& grid, int row, const std::string& text) {
        grid.SetFocusCell(row, 1);
        ASSERT_TRUE(grid.StartEdit(row, 1, kKeyF2));
        grid.GetEditor()->TextEdited(text, static_cast<int>(text.size()),
                                     static_cast<int>(text.size()));
        grid.GetEditor()->KeyDown(kKeyEnter, false, false);
    };
    edit(web.Grid(), 3, "www.plant.example");
    edit(desc.Grid(), 2, "Tank B");
    ASSERT_EQ(dlg.StatusField().Text(), "Modified");

    // "Modified" is the download behaviour at start: only what changed is written.
    sim.ClearRequests();
    dlg.OnRom();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    std::vector<int> written;
    for (const auto& r : sim.Requests())
        if (r.command != 0x01 && r.key >= 1 && r.key <= 70) written.push_back(r.key);
    EXPECT_EQ(written, (std::vector<int>{4, 32}));
    EXPECT_EQ(sim.Stats().lastResetKind, 0);
    EXPECT_EQ(sim.Rom(4), DeviceText("www.plant.example"));
    EXPECT_EQ(sim.Rom(32), DeviceText("Tank B"));
    EXPECT_EQ(sim.Rom(2), DeviceText("no row's"));
    // Read back after the restart.
    EXPECT_EQ(web.Value(3), "www.plant.example");
    EXPECT_EQ(desc.Value(2), "Tank B");
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    channel.Close();
    sim.Stop();
}
