#include "controls/masked_edit.h"

#include <gtest/gtest.h>

#include "support/scripted_ui_host.h"

namespace {

using Key = CMaskedEdit::Key;

const MaskSeparators kDefaultSeparators{};

// The address mask with prompt '_', as the pages set it up.
struct AddressField : ::testing::Test {
    ScriptedUiHost ui;
    CMaskedEdit f{ui, "###.###.###.###", kDefaultSeparators};
    void SetUp() override { f.SetPromptChar('_'); }
    void Type(const std::string& s) {
        for (char c : s)
            f.Char(c);
    }
};

TEST_F(AddressField, NewFieldShowsPromptsWithCaretAtFirstInput) {
    EXPECT_EQ(f.GetText(), "___.___.___.___");
    EXPECT_EQ(f.Caret(), 0);
    EXPECT_FALSE(f.HasSelection());
    EXPECT_FALSE(f.IsModified());
    EXPECT_EQ(f.InputChars(), "____________");
}

TEST_F(AddressField, TypingFillsDigitsAndSkipsTheDots) {
    Type("192168001010");
    EXPECT_EQ(f.GetText(), "192.168.001.010");
    EXPECT_EQ(f.Caret(), 15);
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(f.IsModified());
}

TEST_F(AddressField, EditingStepsOnAFilledAddress) {
    constexpr const char* kFilled = "192.168.001.010";
    constexpr const char* kSame = nullptr;  // go on from the step before
    constexpr char kDel = 0x7F;             // the Delete key
    struct Step {
        const char* start;
        bool overwrite;
        int from, to;  // the selection before the key
        char key;
        const char* text;
        int caret;  // -1: not checked
        bool beep;
    } const steps[] = {
        {kFilled, false, 0, 0, '5', "519.216.800.101", 1, false},
        {kFilled, true, 0, 0, '5', "592.168.001.010", 1, false},
        // Overwriting jumps the caret over a literal after the filled position.
        {kSame, true, 2, 2, '7', "597.168.001.010", 4, false},
        // A letter in a digit position, in either mode.
        {kFilled, false, 4, 4, 'x', kFilled, 4, true},
        {kFilled, true, 4, 4, 'x', kFilled, 4, true},
        // A character on a literal moves to the next input.
        {kFilled, false, 3, 3, '4', kFilled, 4, true},
        // Delete pulls everything after it forward...
        {kFilled, false, 0, 0, kDel, "921.680.010.10_", 0, false},
        // ...on a literal from the next digit on; at the end nothing happens.
        {kSame, false, 3, 3, kDel, "921.800.101.0__", 4, false},
        {kSame, false, 15, 15, kDel, "921.800.101.0__", -1, false},
        {kFilled, false, 2, 5, kDel, "196.800.101.0__", 2, false},
        // A selection of only a literal moves right until it holds a digit.
        {kSame, false, 3, 4, kDel, "196.001.010.___", -1, false},
        // Backspace after a dot removes the digit before it; at the start nothing happens.
        {kFilled, false, 4, 4, '\b', "191.680.010.10_", 2, false},
        {kSame, false, 0, 0, '\b', "191.680.010.10_", 0, false},
        {kFilled, false, 4, 7, '\b', "192.001.010.___", 4, false},
        // Only a literal selected: the window reaches back to the digit before it.
        {kSame, false, 3, 4, '\b', "190.010.10_.___", 2, false},
        // Typing over a selection replaces it; over literals only it beeps and moves on.
        {kFilled, false, 0, 3, '5', "516.800.101.0__", 1, false},
        {kSame, false, 3, 4, '7', "516.800.101.0__", 4, true},
    };
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        if (step.start) f.SetText(step.start);
        if (f.InsertMode() == step.overwrite) f.KeyDown(Key::Insert, false, false);
        ASSERT_EQ(f.InsertMode(), !step.overwrite);
        f.SetSel(step.from, step.to);
        const int beeps = ui.beeps;
        if (step.key == kDel)
            f.KeyDown(Key::Delete, false, false);
        else
            f.Char(step.key);
        EXPECT_EQ(f.GetText(), step.text);
        if (step.caret >= 0) {
            EXPECT_EQ(f.Caret(), step.caret);
        }
        EXPECT_EQ(ui.beeps, beeps + (step.beep ? 1 : 0));
    }
}

TEST_F(AddressField, SettingTextFromOutside) {
    struct Case {
        const char* in;
        const char* shown;
        bool ok;
    } cases[] = {
        {"010.001.000.200", "010.001.000.200", true},
        {"1.2.3.4", "123.4__.___.___", false},
        {"", "___.___.___.___", true},
        {"192168001010", "192.168.001.010", true},
        {"010.001.___.___", "010.001.___.___", true},
        {"10.1.2.x", "101.2__.___.___", false},
    };
    for (const auto& c : cases) {
        int changes = 0, updates = 0;
        f.onChange = [&] { ++changes; };
        f.onUpdate = [&] { ++updates; };
        EXPECT_EQ(f.SetText(c.in), c.ok) << c.in;
        EXPECT_EQ(f.GetText(), c.shown) << c.in;
        EXPECT_EQ(changes, 0) << "no change notification for a text set from outside";
        EXPECT_GT(updates, 0);
    }
}

TEST_F(AddressField, PlaceInputKeepsTheFirstCharactersAndReportsSkips) {
    EXPECT_TRUE(f.PlaceInput("010001002003", 0, false));
    EXPECT_EQ(f.GetText(), "010.001.002.003");
    EXPECT_EQ(f.Caret(), 0);
    EXPECT_TRUE(f.PlaceInput("99", 3, false));
    EXPECT_EQ(f.GetText(), "010.99_.___.___");
    // Prompts in a raw stream leave positions empty; without raw they are dropped.
    EXPECT_TRUE(f.PlaceInput("1_2", 0, true));
    EXPECT_EQ(f.GetText(), "1_2.___.___.___");
    EXPECT_TRUE(f.PlaceInput("1_2", 0, false));
    EXPECT_EQ(f.GetText(), "12_.___.___.___");
    EXPECT_FALSE(f.PlaceInput("01a002003004", 0, false));
    EXPECT_EQ(f.GetText(), "010.020.030.04_");
}

TEST_F(AddressField, CaretHelpers) {
    EXPECT_EQ(f.NextInputPos(3), 4);
    EXPECT_EQ(f.NextInputPos(15), 15);
    EXPECT_EQ(f.PrevInputPos(4), 4);
    EXPECT_EQ(f.PrevInputPos(3), 3);
    EXPECT_EQ(f.PrevInputPos(15), 15);
    f.SetText("192.16_.___.___");
    EXPECT_EQ(f.FirstEmptyInputPos(0), 6);
    EXPECT_EQ(f.FirstEmptyInputPos(7), 8);

    CMaskedEdit lit(ui, "--#", kDefaultSeparators);
    EXPECT_EQ(lit.PrevInputPos(1), 2) << "no input before: the next one";
}

TEST_F(AddressField, ArrowKeysSkipLiterals) {
    f.SetText("192.168.001.010");
    f.SetSel(2, 2);
    f.KeyDown(Key::Right, false, false);
    EXPECT_EQ(f.Caret(), 4);
    f.KeyDown(Key::Left, false, false);
    EXPECT_EQ(f.Caret(), 3);
    f.KeyDown(Key::Left, false, false);
    EXPECT_EQ(f.Caret(), 2);
    f.KeyDown(Key::End, false, false);
    EXPECT_EQ(f.Caret(), 15);
    f.KeyDown(Key::Home, false, false);
    EXPECT_EQ(f.Caret(), 0);
    // Shift extends without the input-position adjustment.
    f.SetSel(2, 2);
    f.KeyDown(Key::Right, true, false);
    EXPECT_EQ(f.Anchor(), 2);
    EXPECT_EQ(f.Caret(), 3);
    f.KeyDown(Key::End, true, false);
    EXPECT_EQ(f.SelStart(), 2);
    EXPECT_EQ(f.SelEnd(), 15);
}

TEST_F(AddressField, PasteCutCopyAndClear) {
    f.SetText("192.168.001.010");
    f.SetSel(0, 3);
    f.Copy();
    EXPECT_EQ(ui.clipboard, "192");

    f.SetSel(4, 7);
    f.Cut();
    EXPECT_EQ(ui.clipboard, "168");
    EXPECT_EQ(f.GetText(), "192.001.010.___");
    EXPECT_EQ(f.Caret(), 4);

    f.SetSel(0, 15);
    f.KeyDown(Key::Delete, false, false);
    EXPECT_EQ(f.GetText(), "___.___.___.___");

    // Pasting a dotted address: the dots of the pasted text are not digits and are skipped.
    ui.clipboard = "10.1.2.3";
    f.SetSel(0, 15);
    f.Paste();
    EXPECT_EQ(f.GetText(), "101.23_.___.___");
    EXPECT_EQ(f.Caret(), 6);

    ui.clipboard = "010001002003\r\nsecond line";
    f.SetSel(0, 15);
    f.Paste();
    EXPECT_EQ(f.GetText(), "010.001.002.003");

    f.SetSel(8, 11);
    f.Clear();
    EXPECT_EQ(f.GetText(), "010.001.003.___");
    EXPECT_EQ(f.Caret(), 8);

    // Paste at a caret inserts: later input moves on.
    ui.clipboard = "9";
    f.SetSel(0, 0);
    f.Paste();
    EXPECT_EQ(f.GetText(), "901.000.100.3__");
    EXPECT_EQ(f.Caret(), 13);
}

TEST_F(AddressField, ClipboardKeysAndControlCharacters) {
    f.SetText("192.168.001.010");
    f.Char(0x01);  // select all
    EXPECT_EQ(f.SelStart(), 0);
    EXPECT_EQ(f.SelEnd(), 15);
    f.KeyDown(Key::Insert, false, true);
    EXPECT_EQ(ui.clipboard, "192.168.001.010");
    f.KeyDown(Key::Delete, true, false);
    EXPECT_EQ(f.GetText(), "___.___.___.___");
    f.KeyDown(Key::Insert, true, false);
    EXPECT_EQ(f.GetText(), "192.168.001.010");
    EXPECT_TRUE(f.InsertMode()) << "Shift+Insert pastes, it does not toggle";
}

TEST_F(AddressField, ReadOnlyRefusesEditsButMovesTheCaret) {
    f.SetText("192.168.001.010");
    f.SetReadOnly(true);
    f.SetSel(0, 0);
    f.Char('5');
    f.Char('\b');
    f.KeyDown(Key::Delete, false, false);
    ui.clipboard = "1";
    f.Paste();
    f.SetSel(0, 3);
    f.Cut();
    EXPECT_EQ(f.GetText(), "192.168.001.010");
    f.SetSel(0, 0);
    f.KeyDown(Key::Right, false, false);
    EXPECT_EQ(f.Caret(), 1);
}

TEST_F(AddressField, FocusByTabPutsTheCaretAtTheFirstInput) {
    f.SetText("192.168.001.010");
    f.SetFocus(true);
    EXPECT_TRUE(f.HasFocus());
    EXPECT_FALSE(f.HasSelection());
    EXPECT_EQ(f.Caret(), 0);

    // Focus by other means keeps the selection the field had.
    f.KillFocus();
    f.SetSel(4, 7);
    f.SetFocus(false);
    EXPECT_EQ(f.SelStart(), 4);
    EXPECT_EQ(f.SelEnd(), 7);
}

TEST_F(AddressField, ClickIntoAnEmptyUnfocusedField) {
    EXPECT_TRUE(f.MouseDown(9));
    EXPECT_EQ(f.Caret(), 0);
    f.SetFocus(false);
    EXPECT_FALSE(f.MouseDown(9)) << "a focused field takes clicks as usual";
    f.KillFocus();
    f.SetText("1");
    EXPECT_FALSE(f.MouseDown(9)) << "a field with input takes clicks as usual";
}

TEST_F(AddressField, LeaveNotificationAndCheck) {
    struct Checked : CMaskedEdit {
        using CMaskedEdit::CMaskedEdit;
        bool accept = true;
        int checks = 0;
        bool CheckOnLeave() override {
            ++checks;
            return accept;
        }
    };
    Checked c(ui, "##", kDefaultSeparators);
    c.SetControlId(1010);
    int focusRequests = 0;
    c.SetFocusListener([&] { ++focusRequests; });
    int valid = 1, ownCheck = 1;
    c.onLeave = [&](CMaskedEdit::LeaveNotify& n) {
        EXPECT_EQ(n.field, &c);
        EXPECT_EQ(n.controlId, 1010);
        EXPECT_EQ(n.valid, 1);
        EXPECT_EQ(n.ownCheck, 1);
        EXPECT_EQ(n.reserved, 0);
        n.valid = valid;
        n.ownCheck = ownCheck;
    };
    EXPECT_EQ(CMaskedEdit::kLeaveNotifyCode, 33078);

    struct Case {
        int valid, ownCheck;
        bool accept;
        bool leaves;
        int checks;
    } cases[] = {
        {1, 1, true, true, 1},  {1, 1, false, false, 1}, {0, 1, true, false, 0},
        {1, 0, false, true, 0}, {0, 0, true, false, 0},
    };
    for (const auto& k : cases) {
        valid = k.valid;
        ownCheck = k.ownCheck;
        c.accept = k.accept;
        c.checks = 0;
        focusRequests = 0;
        EXPECT_EQ(c.Leave(), k.leaves);
        EXPECT_EQ(c.checks, k.checks);
        EXPECT_EQ(focusRequests, k.leaves ? 0 : 1);
    }
}

TEST(MaskLanguage, LiteralsAndSeparators) {
    ScriptedUiHost ui;
    MaskSeparators seps{',', '.', 'h', '-'};
    CMaskedEdit f(ui, "#.,:/\\#x\\\\", seps);
    EXPECT_EQ(f.GetText(), " ,.h-#x\\");
    EXPECT_EQ(f.InputChars(), " ");
    EXPECT_TRUE(f.SetText("7,.h-#x\\"));
    EXPECT_EQ(f.GetText(), "7,.h-#x\\");
}

TEST(MaskLanguage, WhatEachInputKindAccepts) {
    struct Case {
        const char* mask;
        char typed;
        char stored;  // 0: refused
    } cases[] = {
        {"#", '7', '7'},  {"#", 'a', 0},    {"#", ' ', 0}, {"A", 'q', 'q'}, {"A", '5', '5'},
        {"A", '-', 0},    {"?", 'Z', 'Z'},  {"?", '3', 0}, {">", 'b', 'B'}, {">", 'B', 'B'},
        {">", '1', 0},    {"<", 'Q', 'q'},  {"<", '!', 0}, {"&", '~', '~'}, {"&", ' ', ' '},
        {"&", '\x7f', 0}, {"&", '\xe9', 0},
    };
    ScriptedUiHost ui;
    for (const auto& c : cases) {
        CMaskedEdit f(ui, c.mask, kDefaultSeparators);
        f.SetPromptChar('_');
        f.Char(c.typed);
        std::string expected(1, c.stored ? c.stored : '_');
        EXPECT_EQ(f.GetText(), expected) << c.mask << " " << c.typed;
        EXPECT_EQ(f.PlaceInput(std::string(1, c.typed), 0, true), c.stored != 0);
    }
    EXPECT_EQ(ui.beeps, 8);
}

TEST(MaskLanguage, PromptCharacter) {
    ScriptedUiHost ui;
    CMaskedEdit f(ui, "##-##", kDefaultSeparators);
    EXPECT_EQ(f.GetText(), "  -  ");
    f.SetText("1");
    f.SetPromptChar('*');
    EXPECT_EQ(f.GetText(), "1*-**");
    EXPECT_FALSE(f.IsModified());
    for (char bad : {'\0', '\n', '\r', '\x7f'}) {
        f.SetPromptChar(bad);
        EXPECT_EQ(f.PromptChar(), '*');
    }
    EXPECT_EQ(f.GetText(), "1*-**");
}

TEST(MaskLanguage, LocaleSeparatorsDefaultInTheCLocale) {
    MaskSeparators s = MaskSeparators::FromLocale();
    EXPECT_EQ(s.decimal, '.');
    EXPECT_EQ(s.thousands, ',');
    EXPECT_EQ(s.time, ':');
    EXPECT_EQ(s.date, '/');
}

TEST(PlainField, BehavesAsAPlainEdit) {
    ScriptedUiHost ui;
    CMaskedEdit f(ui);
    int changes = 0;
    f.onChange = [&] { ++changes; };
    for (char c : std::string("abc d"))
        f.Char(c);
    EXPECT_EQ(f.GetText(), "abc d");
    EXPECT_EQ(changes, 5);
    f.Char('\b');
    f.KeyDown(Key::Left, false, false);
    f.KeyDown(Key::Left, false, false);
    f.KeyDown(Key::Delete, false, false);
    EXPECT_EQ(f.GetText(), "ab ");
    f.KeyDown(Key::Home, true, false);
    EXPECT_EQ(f.SelEnd(), 2);
    f.Cut();
    EXPECT_EQ(ui.clipboard, "ab");
    EXPECT_EQ(f.GetText(), " ");
    ui.clipboard = "x@y\nz";
    f.Paste();
    EXPECT_EQ(f.GetText(), "x@y ");
    EXPECT_EQ(ui.beeps, 0);

    f.SetLimitText(5);
    f.SetSel(4, 4);
    for (char c : std::string("123"))
        f.Char(c);
    EXPECT_EQ(f.GetText(), "x@y 1");

    f.SetText("given");
    EXPECT_EQ(f.GetText(), "given");
    EXPECT_EQ(f.Caret(), 0);
    f.SetFocus(true);
    EXPECT_EQ(f.SelEnd(), 5) << "Tab selects the whole text of a plain field";
    EXPECT_FALSE(f.MouseDown(0));
}

TEST(PlainField, StillRunsItsLeaveCheck) {
    struct Sender : CMaskedEdit {
        using CMaskedEdit::CMaskedEdit;
        bool CheckOnLeave() override { return GetText().find('@') != std::string::npos; }
    };
    ScriptedUiHost ui;
    Sender f(ui);
    int focusRequests = 0;
    f.SetFocusListener([&] { ++focusRequests; });
    f.SetText("nobody");
    EXPECT_FALSE(f.Leave());
    EXPECT_EQ(focusRequests, 1);
    f.SetText("a@b");
    EXPECT_TRUE(f.Leave());
}

TEST(PlainField, PasswordRefusesCopyAndCut) {
    ScriptedUiHost ui;
    CMaskedEdit f(ui);
    f.SetPassword(true);
    f.SetText("secret");
    f.SelectAll();
    f.Copy();
    f.Cut();
    EXPECT_EQ(ui.clipboard, "");
    EXPECT_EQ(f.GetText(), "secret");
}

}  // namespace
