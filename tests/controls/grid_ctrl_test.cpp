#include "controls/grid_ctrl.h"

#include <gtest/gtest.h>

#include "controls/grid_cell_checks.h"
#include "support/scripted_ui_host.h"

namespace {

constexpr uint32_t kCentred =
    CellFormat::kCenter | CellFormat::kVCenter | CellFormat::kSingleLine | CellFormat::kEndEllipsis;
const std::string kNoAddress = "000.000.000.000";
const std::string kThreeDigits =
    "Please enter 3 digit characters per octet.\nRange of possible correct values are 000 thru "
    "255.";

// A grid laid out like the routing page's, plus a web column for the empty-allowed classes:
// row 0 and columns 0-1 are headers, column 2 holds addresses, column 3 URLs.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(grid.SetRows(11));
        ASSERT_TRUE(grid.SetColumns(4));
        ASSERT_TRUE(grid.SetFixedRows(1));
        ASSERT_TRUE(grid.SetFixedColumns(2));
        grid.SetCellText(0, 2, "IP Address");
        for (int r = 1; r < 11; ++r) {
            grid.SetCellText(r, 0, std::to_string(r - 1));
            ASSERT_TRUE(grid.SetCellClass(r, 2, CGridCellIPAddr::kClass));
            ASSERT_TRUE(grid.SetCellClass(r, 3, CGridCellWebURL::kClass));
            GridItem item;
            item.row = r;
            item.col = 2;
            item.mask = GridItem::kText | GridItem::kFormat;
            item.text = kNoAddress;
            item.format = kCentred;
            grid.SetCell(item);
        }
        grid.SetCellText(1, 3, "qor.htm");
        grid.SetDragAndDrop(true);
        grid.onUserChange = [this] { ++userChanges; };
    }

    void Type(const std::string& keys) {
        for (char c : keys)
            grid.Char(static_cast<unsigned char>(c), false);
    }
    void Focus(int row, int col) {
        grid.MouseDown(row, col, false, false);
        grid.MouseUp(row, col);
    }

    ScriptedUiHost ui;
    CGridCtrl grid{ui};
    int userChanges = 0;
};

TEST_F(GridTest, SizeHeadersAndPositionBits) {
    EXPECT_EQ(grid.GetRowCount(), 11);
    EXPECT_EQ(grid.GetColumnCount(), 4);
    EXPECT_EQ(grid.GetCellState(0, 0),
              GridState::kFixed | GridState::kFixedRow | GridState::kFixedColumn);
    EXPECT_EQ(grid.GetCellState(0, 2), GridState::kFixed | GridState::kFixedRow);
    EXPECT_EQ(grid.GetCellState(3, 1), GridState::kFixed | GridState::kFixedColumn);
    EXPECT_EQ(grid.GetCellState(3, 2), 0u);
    EXPECT_EQ(grid.GetCellText(99, 0), "");
    EXPECT_EQ(grid.GetCellText(-1, 2), "");
    EXPECT_FALSE(grid.SetCellText(11, 0, "x"));

    // Growing keeps contents, shrinking drops cells; new cells are plain text cells.
    ASSERT_TRUE(grid.SetRows(12));
    EXPECT_EQ(grid.GetCell(11, 2)->GetRuntimeClass().className, std::string("CGridCell"));
    EXPECT_EQ(grid.GetCellText(10, 2), kNoAddress);
    ASSERT_TRUE(grid.SetColumns(3));
    EXPECT_EQ(grid.GetCell(1, 3), nullptr);
    EXPECT_EQ(grid.GetCellText(1, 2), kNoAddress);
    // Fewer rows than headers cuts the headers too.
    ASSERT_TRUE(grid.SetRows(0));
    EXPECT_EQ(grid.GetFixedRowCount(), 0);
}

TEST_F(GridTest, SetCellClassTakesOverTheOldCell) {
    GridItem item;
    item.row = 4;
    item.col = 1;
    item.mask = GridItem::kText | GridItem::kFormat | GridItem::kData | GridItem::kBackColour |
                GridItem::kMargin;
    item.text = "003";
    item.format = kCentred;
    item.data = 42;
    item.backColour = 0x00FF00;
    item.margin = 5;
    grid.SetCell(item);
    grid.MarkModified(true, 4, 1);
    ASSERT_TRUE(grid.SetCellClass(4, 1, CGridCellWebDefault::kClass));
    const CGridCellBase* cell = grid.GetCell(4, 1);
    EXPECT_STREQ(cell->GetRuntimeClass().className, "CGridCellWebDefault");
    EXPECT_EQ(cell->GetText(), "003");
    EXPECT_EQ(cell->GetFormat(), kCentred);
    EXPECT_EQ(cell->GetData(), 42u);
    EXPECT_EQ(cell->GetBackColour(), 0x00FF00u);
    EXPECT_EQ(cell->GetMargin(), 5);
    EXPECT_TRUE(cell->IsModified());
    EXPECT_TRUE(cell->IsFixed());

    EXPECT_FALSE(grid.SetCellClass(11, 2, CGridCellWebURL::kClass));
    EXPECT_FALSE(grid.SetCellClass(1, 2, CGridCellBase::kClass));  // abstract
    const CellClassRecord foreign{"CNotACell", nullptr, nullptr};
    EXPECT_FALSE(grid.SetCellClass(1, 2, foreign));
    EXPECT_TRUE(grid.GetCell(1, 2)->IsKindOf(CGridCellIPAddr::kClass));
}

TEST_F(GridTest, MarkModifiedCellsAndGridFlag) {
    grid.MarkModified(true, 2, 2);
    grid.MarkModified(true, 3, 3);
    EXPECT_TRUE(grid.IsModified());
    EXPECT_TRUE(grid.IsModified(2, 2));
    grid.MarkModified(false, 2, 2);  // one cell's bit only
    EXPECT_FALSE(grid.IsModified(2, 2));
    EXPECT_TRUE(grid.IsModified(3, 3));
    EXPECT_TRUE(grid.IsModified());
    grid.MarkModified(true, 0, 2);  // not a cell: the grid-wide flag
    EXPECT_TRUE(grid.IsModified());
    EXPECT_FALSE(grid.IsModified(0, 2));
    grid.MarkModified(false);  // clearing the grid clears every cell
    EXPECT_FALSE(grid.IsModified());
    EXPECT_FALSE(grid.IsModified(3, 3));
}

TEST_F(GridTest, CheckCellTextUsesTheCellsCheck) {
    EXPECT_TRUE(grid.CheckCellText(1, 2, "192.168.001.010"));
    EXPECT_TRUE(grid.CheckCellText(1, 3, "http://x"));
    EXPECT_TRUE(grid.CheckCellText(50, 2, "nonsense"));  // outside the table
    ui.ExpectMessage();
    EXPECT_FALSE(grid.CheckCellText(1, 2, "192.168.1.10"));
    EXPECT_EQ(ui.LastMessage(), kThreeDigits);
    EXPECT_EQ(grid.GetCellText(1, 2), kNoAddress);  // the check changes nothing
}

// ---- in-place editing by keys ----

TEST_F(GridTest, TypingReplacesTheTextAndEnterRefusesTheOneCharacterAddress) {
    grid.SetCellText(3, 2, "192.168.001.010");
    Focus(3, 2);
    Type("1");
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Text(), "1");
    EXPECT_TRUE(grid.GetCell(3, 2)->IsEditing());
    ui.ExpectMessage();
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Missing IP address '.' delimiter."});
    EXPECT_EQ(grid.GetCellText(3, 2), "192.168.001.010");
    EXPECT_FALSE(grid.IsModified(3, 2));
    EXPECT_FALSE(grid.IsModified());
    EXPECT_FALSE(grid.GetCell(3, 2)->IsEditing());
    EXPECT_EQ(userChanges, 1);
}

TEST_F(GridTest, AnAcceptedEditMarksTheCellAndTellsTheOwner) {
    std::vector<std::string> ended;
    grid.onEditEnded = [&](int r, int c, const std::string& t, int key) {
        ended.push_back(std::to_string(r) + "," + std::to_string(c) + "," + t + "," +
                        std::to_string(key));
        return true;
    };
    Focus(2, 2);
    Type("192.168.001.010");
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_EQ(grid.GetCellText(2, 2), "192.168.001.010");
    EXPECT_TRUE(grid.IsModified(2, 2));
    EXPECT_TRUE(grid.IsModified());
    EXPECT_EQ(ended, std::vector<std::string>{"2,2,192.168.001.010," + std::to_string(kKeyEnter)});
}

TEST_F(GridTest, TheOwnerCanVetoTheNewText) {
    grid.onEditEnded = [](int, int, const std::string&, int) { return false; };
    Focus(1, 3);
    Type("x.htm");
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_EQ(grid.GetCellText(1, 3), "qor.htm");
    EXPECT_FALSE(grid.IsModified(1, 3));
}

TEST_F(GridTest, EscapeKeepsTheOldTextAndMarksNothing) {
    Focus(1, 3);
    Type("other.htm");
    grid.KeyDown(kKeyEscape, false, false);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetCellText(1, 3), "qor.htm");
    EXPECT_FALSE(grid.IsModified());
}

TEST_F(GridTest, AnUnchangedEditRunsNoCheck) {
    // The cell holds a text its own check would refuse; leaving it unchanged must not show it.
    grid.SetCellText(4, 2, "bad");
    Focus(4, 2);
    grid.KeyDown(kKeyF2, false, false);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Caret(), 3);
    EXPECT_EQ(grid.GetEditor()->SelStart(), 3);
    grid.KeyDown(kKeyEnter, false, false);  // no message expected
    EXPECT_EQ(grid.GetCellText(4, 2), "bad");
    EXPECT_FALSE(grid.IsModified(4, 2));

    // Typed away and back again is unchanged too.
    grid.KeyDown(kKeyF2, false, false);
    Type("x");
    grid.KeyDown(kKeyBackspace, false, false);
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_FALSE(grid.IsModified());
}

TEST_F(GridTest, TheEditorTakesAtMost45Characters) {
    Focus(2, 3);
    Type(std::string(46, 'a'));
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Text(), std::string(45, 'a'));
    // A character replacing a selection still fits.
    grid.KeyDown(kKeyLeft, true, false);
    Type("b");
    EXPECT_EQ(grid.GetEditor()->Text(), std::string(44, 'a') + "b");
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_EQ(grid.GetCellText(2, 3), std::string(44, 'a') + "b");

    // A longer text loaded from a file is not cut by merely opening and closing the editor,
    // but the editor lets it grow no further.
    const std::string loaded(50, 'l');
    grid.SetCellText(3, 3, loaded);
    Focus(3, 3);
    grid.KeyDown(kKeyF2, false, false);
    EXPECT_EQ(grid.GetEditor()->Text(), loaded);
    Type("m");
    EXPECT_EQ(grid.GetEditor()->Text(), loaded);
    grid.KeyDown(kKeyEnter, false, false);
    EXPECT_EQ(grid.GetCellText(3, 3), loaded);
    EXPECT_FALSE(grid.IsModified(3, 3));
}

TEST_F(GridTest, FirstKeyDecidesWhatTheEditorStartsWith) {
    struct Case {
        int key;
        std::string text;
        int selStart, selEnd;
    };
    // The cell holds "qor.htm" (7 characters).
    const Case cases[] = {
        {'z', "z", 1, 1},
        {kKeyBackspace, "qor.ht", 6, 6},
        {kKeyEnter, "qor.htm", 7, 7},
        {kKeyStart, "qor.htm", 7, 7},
        {kKeySpace, "qor.htm", 0, 7},
        {kKeyTab, "qor.htm", 0, 7},
        {kKeyDown, "qor.htm", 0, 7},
        {kKeyHome, "qor.htm", 0, 7},
        {'!', "!", 1, 1},
    };
    for (const Case& tc : cases) {
        CInPlaceEditor ed(grid, 1, 3, grid.GetCellRect(1, 3), 8, "qor.htm", kCentred, tc.key);
        EXPECT_EQ(ed.Text(), tc.text) << tc.key;
        EXPECT_EQ(ed.SelStart(), tc.selStart) << tc.key;
        EXPECT_EQ(ed.SelEnd(), tc.selEnd) << tc.key;
        EXPECT_EQ(ed.ExitsOnArrows(), tc.key != kKeyStart) << tc.key;
        EXPECT_EQ(ed.Alignment(), CellFormat::kCenter);
    }
}

TEST_F(GridTest, SpaceAndEnterAndBackspaceStartAnEditFromTheGrid) {
    Focus(1, 3);
    grid.KeyDown(kKeyBackspace, false, false);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Text(), "qor.ht");
    grid.KeyDown(kKeyEscape, false, false);
    grid.Char(' ', false);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Text(), "qor.htm");
    grid.KeyDown(kKeyEscape, false, false);
    grid.Char('a', true);  // with Ctrl: no edit
    EXPECT_EQ(grid.GetEditor(), nullptr);
    grid.KeyDown(kKeyEscape, false, false);
    EXPECT_EQ(grid.GetEditor(), nullptr);
}

TEST_F(GridTest, HeaderAndReadOnlyCellsNeverOpenAnEditor) {
    for (auto [r, c] : {std::pair{0, 0}, {0, 2}, {3, 0}, {3, 1}}) {
        grid.SetFocusCell(r, c);
        Type("7");
        grid.KeyDown(kKeyF2, false, false);
        grid.DoubleClick(r, c);
        EXPECT_EQ(grid.GetEditor(), nullptr) << r << "," << c;
        EXPECT_FALSE(grid.StartEdit(r, c, kKeyStart));
    }
    grid.SetCellState(2, 3, GridState::kReadOnly);
    Focus(2, 3);
    Type("7");
    EXPECT_EQ(grid.GetEditor(), nullptr);
    grid.SetEditable(false);
    Focus(3, 3);
    Type("7");
    EXPECT_EQ(grid.GetEditor(), nullptr);
    // Only the focused cell is edited.
    grid.SetEditable(true);
    EXPECT_FALSE(grid.StartEdit(4, 3, kKeyStart));
}

TEST_F(GridTest, TabMovesOnAndStartsTheNextEdit) {
    Focus(1, 2);
    Type("010.000.000.001");
    grid.KeyDown(kKeyTab, false, false);
    EXPECT_EQ(grid.GetCellText(1, 2), "010.000.000.001");
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{1, 3}));
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Column(), 3);
    EXPECT_EQ(grid.GetEditor()->SelStart(), 0);  // whole text selected, nothing typed
    EXPECT_EQ(grid.GetEditor()->SelEnd(), 7);
    // Tab at the end of a row goes on in the first ordinary column of the next row.
    grid.KeyDown(kKeyTab, false, false);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{2, 2}));
    ASSERT_NE(grid.GetEditor(), nullptr);
    // Shift+Tab goes back.
    grid.KeyDown(kKeyTab, true, false);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{1, 3}));
    grid.KeyDown(kKeyEscape, false, false);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{1, 3}));
}

TEST_F(GridTest, ARefusedTabStillMovesOn) {
    Focus(1, 2);
    Type("1");
    ui.ExpectMessage();
    grid.KeyDown(kKeyTab, false, false);
    EXPECT_EQ(grid.GetCellText(1, 2), kNoAddress);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{1, 3}));
    EXPECT_NE(grid.GetEditor(), nullptr);
}

TEST_F(GridTest, ArrowsEndOnlyEditsStartedByATypedKeyOrWithCtrl) {
    Focus(1, 3);
    Type("a");
    grid.KeyDown(kKeyDown, false, false);
    EXPECT_EQ(grid.GetCellText(1, 3), "a");
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{2, 3}));
    ASSERT_NE(grid.GetEditor(), nullptr);  // the move starts the next edit
    grid.KeyDown(kKeyEscape, false, false);

    // Started by F2: Down moves the caret; Ctrl+Down ends.
    grid.KeyDown(kKeyF2, false, false);
    Type("b");
    grid.KeyDown(kKeyDown, false, false);
    grid.KeyDown(kKeyPageDown, false, false);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Row(), 2);
    grid.KeyDown(kKeyDown, false, true);
    EXPECT_EQ(grid.GetCellText(2, 3), "b");
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{3, 3}));
    // Left and Right never end an edit.
    grid.KeyDown(kKeyLeft, false, false);
    grid.KeyDown(kKeyRight, false, false);
    EXPECT_EQ(grid.GetEditor()->Row(), 3);
}

TEST_F(GridTest, AnEditEndsOnlyOnce) {
    int ended = 0;
    grid.onEditEnded = [&](int, int, const std::string&, int) {
        ++ended;
        // The owner's reaction moving the focus away must not end the edit again.
        if (grid.GetEditor()) grid.GetEditor()->KillFocus();
        return true;
    };
    Focus(1, 3);
    Type("x");
    CInPlaceEditor* ed = grid.GetEditor();
    ASSERT_NE(ed, nullptr);
    ed->KeyDown(kKeyEnter, false, false);
    ed->KillFocus();  // the view losing the field afterwards
    ed->KeyDown(kKeyEscape, false, false);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(userChanges, 1);
    EXPECT_EQ(grid.GetCellText(1, 3), "x");

    // Losing the focus commits like Enter.
    Focus(2, 3);
    Type("y");
    grid.EndEditing();
    EXPECT_EQ(grid.GetCellText(2, 3), "y");
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{2, 3}));
}

TEST_F(GridTest, MouseStartsEditsOnTheFocusedCellOnly) {
    grid.MouseDown(2, 3, false, false);
    grid.MouseUp(2, 3);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    grid.MouseDown(2, 3, false, false);
    grid.MouseUp(2, 3);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_FALSE(grid.GetEditor()->ExitsOnArrows());
    // A click elsewhere ends the edit and moves the focus.
    grid.MouseDown(5, 2, false, false);
    EXPECT_EQ(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{5, 2}));
    grid.DoubleClick(6, 3);
    ASSERT_NE(grid.GetEditor(), nullptr);
    EXPECT_EQ(grid.GetEditor()->Row(), 6);
}

TEST_F(GridTest, EditorGrowsRightButNotPastTheClientArea) {
    grid.SetClientSize(400, 300);
    for (int c = 0; c < 4; ++c)
        grid.SetColumnWidth(c, 50);
    const GridRect cell = grid.GetCellRect(1, 3);
    Focus(1, 3);
    Type("abc");
    EXPECT_EQ(grid.GetEditor()->Rect(), cell);
    Type(std::string(20, 'x'));  // 23 characters and two spaces: 175 pixels estimated
    EXPECT_EQ(grid.GetEditor()->Rect().left, cell.left);
    EXPECT_EQ(grid.GetEditor()->Rect().right, cell.left + 7 * 25);
    Type(std::string(22, 'x'));
    EXPECT_EQ(grid.GetEditor()->Rect().right, 400);
}

// ---- keyboard moves ----

TEST_F(GridTest, KeysMoveTheFocusWithinTheOrdinaryCells) {
    grid.SetClientSize(300, 5 * grid.GetRowHeight(1));  // a header row and four rows
    grid.KeyDown(kKeyDown, false, false);  // nothing focused: starts at the first ordinary cell
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{1, 2}));
    struct Step {
        int key;
        bool ctrl;
        CCellID expected;
    };
    const Step steps[] = {
        {kKeyUp, false, {1, 2}},        {kKeyLeft, false, {1, 2}},
        {kKeyRight, false, {1, 3}},     {kKeyRight, false, {1, 3}},
        {kKeyPageDown, false, {5, 3}},  {kKeyPageDown, false, {9, 3}},
        {kKeyPageDown, false, {10, 3}}, {kKeyPageUp, false, {6, 3}},
        {kKeyHome, false, {6, 2}},      {kKeyEnd, false, {6, 3}},
        {kKeyHome, true, {1, 2}},       {kKeyEnd, true, {10, 3}},
    };
    for (const Step& s : steps) {
        grid.KeyDown(s.key, false, s.ctrl);
        EXPECT_EQ(grid.GetFocusCell(), s.expected) << s.key;
        EXPECT_TRUE(grid.IsCellSelected(s.expected.row, s.expected.col));
        EXPECT_EQ(grid.GetSelectedCount(), 1);
        EXPECT_EQ(grid.GetEditor(), nullptr);
    }
    // The focused last row is scrolled into view.
    const GridRect r = grid.GetCellRect(10, 3);
    EXPECT_LE(r.bottom, grid.GetClientSize().height);
    EXPECT_GE(r.top, grid.GetFixedRowHeight());
    // Shift extends the selection from where it started.
    grid.KeyDown(kKeyUp, true, false);
    grid.KeyDown(kKeyLeft, true, false);
    EXPECT_EQ(grid.GetSelectedRange(), (CCellRange{9, 2, 10, 3}));
    EXPECT_EQ(grid.GetSelectedCount(), 4);
}

// ---- delete, cut, paste, drop ----

TEST_F(GridTest, DeleteEmptiesAUrlCellAndIsRefusedOnAnAddress) {
    Focus(1, 3);
    grid.KeyDown(kKeyDelete, false, false);
    EXPECT_EQ(grid.GetCellText(1, 3), "");
    EXPECT_TRUE(grid.IsModified(1, 3));
    EXPECT_TRUE(grid.IsModified());

    grid.SetCellText(2, 2, "192.168.001.010");
    Focus(2, 2);
    ui.ExpectMessage();
    grid.KeyDown(kKeyDelete, false, false);
    EXPECT_EQ(ui.LastMessage(), "Missing value in IP address.");
    EXPECT_EQ(grid.GetCellText(2, 2), "192.168.001.010");
    EXPECT_FALSE(grid.IsModified(2, 2));
    EXPECT_EQ(grid.GetEditor(), nullptr);
}

TEST_F(GridTest, EditStartingVetoSkipsTheCell) {
    std::vector<std::pair<int, int>> asked;
    grid.onEditStarting = [&](int r, int c) {
        asked.emplace_back(r, c);
        return r != 1;
    };
    Focus(1, 3);
    grid.KeyDown(kKeyDelete, false, false);
    EXPECT_EQ(grid.GetCellText(1, 3), "qor.htm");
    ui.clipboard = "a.htm\r\nb.htm\r\n";
    grid.Paste();
    EXPECT_EQ(grid.GetCellText(1, 3), "qor.htm");
    EXPECT_EQ(grid.GetCellText(2, 3), "b.htm");
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{1, 3}, {1, 3}, {2, 3}}));
}

TEST_F(GridTest, CopyGivesTabsAndLineBreaks) {
    grid.SetCellText(2, 2, "192.168.001.010");
    grid.SetCellText(2, 3, "b.htm");
    grid.SetSelectedRange({1, 2, 2, 3});
    grid.KeyDown('C', false, true);
    EXPECT_EQ(ui.clipboard, "000.000.000.000\tqor.htm\r\n192.168.001.010\tb.htm");
    ui.clipboard.clear();
    grid.KeyDown(kKeyInsert, false, true);
    EXPECT_EQ(ui.clipboard, "000.000.000.000\tqor.htm\r\n192.168.001.010\tb.htm");
    grid.SelectAll();
    EXPECT_EQ(grid.GetSelectedRange(), (CCellRange{1, 2, 10, 3}));
    grid.KeyDown('a', false, true);
    EXPECT_EQ(grid.GetSelectedCount(), 20);
}

TEST_F(GridTest, PasteRunsEachCellsCheckFromTheFocusedCell) {
    Focus(1, 2);
    ui.clipboard = "010.000.000.001\tnew.htm\r\n1.2.3.4\tbad url\r\n192.168.001.020\r\n";
    ui.ExpectMessage();  // 1.2.3.4
    ui.ExpectMessage();  // bad url
    grid.KeyDown('V', false, true);
    EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{kThreeDigits, "Spaces not allowed."}));
    EXPECT_EQ(grid.GetCellText(1, 2), "010.000.000.001");
    EXPECT_EQ(grid.GetCellText(1, 3), "new.htm");
    EXPECT_EQ(grid.GetCellText(2, 2), kNoAddress);
    EXPECT_EQ(grid.GetCellText(2, 3), "");
    EXPECT_EQ(grid.GetCellText(3, 2), "192.168.001.020");
    EXPECT_TRUE(grid.IsModified(1, 2));
    EXPECT_FALSE(grid.IsModified(2, 2));
    EXPECT_FALSE(grid.IsModified(2, 3));
    EXPECT_EQ(userChanges, 1);

    // Shift+Insert pastes too; text beyond the table or on headers is dropped.
    Focus(10, 3);
    ui.clipboard = "last.htm\textra\r\nbeyond";
    grid.KeyDown(kKeyInsert, true, false);
    EXPECT_EQ(grid.GetCellText(10, 3), "last.htm");
    EXPECT_EQ(grid.GetCellText(0, 0), "");
}

TEST_F(GridTest, CutCopiesAndClearsWhatItMay) {
    grid.SetSelectedRange({1, 2, 1, 3});
    ui.ExpectMessage();  // the address cannot be emptied
    grid.KeyDown('X', false, true);
    EXPECT_EQ(ui.clipboard, "000.000.000.000\tqor.htm");
    EXPECT_EQ(grid.GetCellText(1, 2), kNoAddress);
    EXPECT_EQ(grid.GetCellText(1, 3), "");
    EXPECT_TRUE(grid.IsModified(1, 3));
    grid.SetCellText(2, 3, "b.htm");
    grid.SetSelectedRange({2, 3, 2, 3});
    grid.KeyDown(kKeyDelete, true, false);  // Shift+Delete
    EXPECT_EQ(ui.clipboard, "b.htm");
    EXPECT_EQ(grid.GetCellText(2, 3), "");
}

TEST_F(GridTest, DragAndDropOfCellText) {
    grid.SetCellText(2, 3, "b.htm");
    Focus(2, 3);
    grid.MouseDown(2, 3, false, false);
    const std::string dragged = grid.BeginDrag();
    EXPECT_EQ(dragged, "b.htm");
    EXPECT_FALSE(grid.CanDrop(2, 3));  // onto itself
    EXPECT_FALSE(grid.CanDrop(0, 3));  // a header
    grid.DragOver(4, 3);
    EXPECT_TRUE(grid.GetCellState(4, 3) & GridState::kDropHighlighted);
    ASSERT_TRUE(grid.Drop(4, 3, dragged));
    EXPECT_FALSE(grid.GetCellState(4, 3) & GridState::kDropHighlighted);
    grid.EndDrag(true);
    EXPECT_EQ(grid.GetCellText(4, 3), "b.htm");
    EXPECT_EQ(grid.GetCellText(2, 3), "");  // moved
    EXPECT_TRUE(grid.IsModified(4, 3));

    // A drop from elsewhere goes through the targets' checks, whole or not at all: a refused
    // part leaves every cell as it was, and the drop is refused.
    ui.ExpectMessage();
    EXPECT_FALSE(grid.Drop(5, 2, "010.000.000.005\r\nnot an address"));
    EXPECT_EQ(ui.MessageTexts().size(), 1u);
    EXPECT_EQ(grid.GetCellText(5, 2), kNoAddress);
    EXPECT_EQ(grid.GetCellText(6, 2), kNoAddress);
    EXPECT_FALSE(grid.IsModified(5, 2));
    // A block that would reach past the last row is refused whole: no part is lost.
    for (int r = 8; r <= 10; ++r)
        grid.SetCellText(r, 3, "p" + std::to_string(r));
    Focus(8, 3);
    grid.SetSelectedRange({8, 3, 9, 3});
    grid.MouseDown(8, 3, false, false);
    const std::string block = grid.BeginDrag();
    EXPECT_EQ(block, "p8\r\np9");
    EXPECT_FALSE(grid.Drop(10, 3, block));
    grid.EndDrag(false);
    for (int r = 8; r <= 10; ++r)
        EXPECT_EQ(grid.GetCellText(r, 3), "p" + std::to_string(r));
    EXPECT_EQ(ui.MessageTexts().size(), 1u);  // the refused address's, above: no new message
    grid.SetDragAndDrop(false);
    EXPECT_FALSE(grid.Drop(5, 3, "x"));
}

// ---- sizing ----

TEST_F(GridTest, FitToContentsThenStretchFillsTheClientWidth) {
    grid.SetCellText(0, 0, "Destination");
    grid.SetCellText(0, 1, "Config #");
    grid.FitToContents();
    const int m = 2 * CGridCtrl::kDefaultMargin;
    EXPECT_EQ(grid.GetColumnWidth(0), 7 * 11 + m);
    EXPECT_EQ(grid.GetColumnWidth(1), 7 * 8 + m);
    EXPECT_EQ(grid.GetColumnWidth(2), 7 * 15 + m);
    EXPECT_EQ(grid.GetColumnWidth(3), 7 * 7 + m);
    EXPECT_EQ(grid.GetRowHeight(0), 15 + m);

    grid.SetClientSize(500, 200);
    ASSERT_TRUE(grid.StretchColumn(2));
    EXPECT_EQ(grid.GetVirtualWidth(), 500);
    EXPECT_FALSE(grid.StretchColumn(4));
    // Stretched again when the client area changes, but never below the text.
    grid.SetClientSize(600, 200);
    EXPECT_EQ(grid.GetVirtualWidth(), 600);
    grid.SetClientSize(100, 200);
    EXPECT_EQ(grid.GetColumnWidth(2), 7 * 15 + m);
    // A real font measure refits what was fitted.
    grid.SetTextMeasure([](const std::string& t) { return GridSize{10 * int(t.size()), 20}; });
    EXPECT_EQ(grid.GetColumnWidth(0), 10 * 11 + m);
    EXPECT_EQ(grid.GetRowHeight(5), 20 + m);
}

TEST_F(GridTest, CellRectsAndHitTestsFollowTheScrollPosition) {
    for (int c = 0; c < 4; ++c)
        grid.SetColumnWidth(c, 50);
    for (int r = 0; r < 11; ++r)
        grid.SetRowHeight(r, 20);
    grid.SetClientSize(200, 100);  // header row and four rows visible
    EXPECT_EQ(grid.GetCellRect(2, 2), (GridRect{100, 40, 150, 60}));
    EXPECT_EQ(grid.CellAt(120, 45), (CCellID{2, 2}));
    grid.SetScrollPos(0, 40);
    EXPECT_EQ(grid.GetCellRect(2, 2), (GridRect{100, 0, 150, 20}));  // hidden under the header
    EXPECT_EQ(grid.GetCellRect(0, 2), (GridRect{100, 0, 150, 20}));
    EXPECT_EQ(grid.CellAt(120, 10), (CCellID{0, 2}));
    EXPECT_EQ(grid.CellAt(120, 25), (CCellID{3, 2}));
    EXPECT_EQ(grid.CellAt(210, 25), (CCellID{}));
    grid.SetScrollPos(0, 1000);
    EXPECT_EQ(grid.GetScrollY(), grid.GetMaxScrollY());
    EXPECT_EQ(grid.GetMaxScrollY(), 11 * 20 - 100);
    grid.EnsureVisible(1, 2);
    EXPECT_EQ(grid.GetScrollY(), 0);
}

TEST_F(GridTest, HeaderClicksSelectWhatTheyHead) {
    grid.MouseDown(0, 3, false, false);
    EXPECT_EQ(grid.GetSelectedRange(), (CCellRange{1, 3, 10, 3}));
    grid.MouseDown(4, 0, false, false);
    EXPECT_EQ(grid.GetSelectedRange(), (CCellRange{4, 2, 4, 3}));
    grid.MouseDown(0, 0, false, false);
    EXPECT_EQ(grid.GetSelectedCount(), 20);
    // Dragging the mouse from an unselected cell selects a range.
    grid.ClearSelection();
    grid.MouseDown(2, 2, false, false);
    grid.MouseMove(3, 3);
    grid.MouseUp(3, 3);
    EXPECT_EQ(grid.GetSelectedRange(), (CCellRange{2, 2, 3, 3}));
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{3, 3}));
    grid.SetCellSelection(false);
    EXPECT_EQ(grid.GetSelectedCount(), 0);
}

}  // namespace
