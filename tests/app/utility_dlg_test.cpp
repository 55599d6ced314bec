#include "app/utility_dlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/scripted_ui_host.h"

namespace {

// A page that logs each operation as "<op><index>" and whose check and comparison are set by
// the test. It also logs the status text at the moment LinkDown and RestoreLinkBaud run, so
// the start-up order can be read off the log.
class LogPage : public CConfigPage {
  public:
    LogPage(int index, std::vector<std::string>& log, CUtilityDlg& dlg)
        : index_(index), log_(log), dlg_(dlg) {}

    void LoadDefaults() override { Log("defaults"); }
    void SeriesChanged(int series) override { Log("series" + std::to_string(series) + "-"); }
    void StoreToDocument(QorDoc&, bool force) override { Log(force ? "storeF" : "store"); }
    void LinkDown() override { Log("down[" + dlg_.StatusField().Text() + "]"); }
    void RestoreLinkBaud() override { Log("baud[" + dlg_.StatusField().Text() + "]"); }
    bool DiffersFromDocument(QorDoc&) override {
        Log("differs");
        return differs;
    }
    bool TakeControlValues() override {
        Log("check");
        return accepts;
    }

    bool accepts = true;
    bool differs = false;

  private:
    void Log(const std::string& op) { log_.push_back(op + std::to_string(index_)); }

    int index_;
    std::vector<std::string>& log_;
    CUtilityDlg& dlg_;
};

class UtilityDlgTest : public ::testing::Test {
  protected:
    UtilityDlgTest() {
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) {
            pages.push_back(std::make_unique<LogPage>(i, log, dlg));
            dlg.Tabs().SetPage(i, *pages.back());
        }
    }

    void Started() {
        dlg.Start();
        log.clear();
    }

    std::vector<CButton*> AllCommands() {
        return {&dlg.FileLoadButton(), &dlg.QorButton(),      &dlg.DefaultsButton(),
                &dlg.TextLoadButton(), &dlg.FileSaveButton(), &dlg.RamButton(),
                &dlg.RomButton(),      &dlg.TextSaveButton()};
    }

    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    std::vector<std::string> log;
    std::vector<std::unique_ptr<LogPage>> pages;
};

using Log = std::vector<std::string>;

TEST_F(UtilityDlgTest, StartsWithDefaultsStoredThenOfflineThenDefaultValues) {
    dlg.Start();
    Log expected = {"defaults0", "defaults1",      "defaults2",      "defaults3",
                    "defaults4", "defaults5",      "defaults6",      "store0",
                    "store1",    "store2",         "store4",         "store5",
                    "store6",    "down[Offline]3", "down[Offline]4", "baud[Default Values]4"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_EQ(dlg.ValueSource(), "Default Values");
    EXPECT_TRUE(dlg.StatusField().IsReadOnly());
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 0);
    EXPECT_TRUE(dlg.Tabs().IsEnabled());
    for (CButton* b : AllCommands())
        EXPECT_TRUE(b->IsEnabled()) << b->Text();
    EXPECT_TRUE(dlg.HelpButton().IsEnabled());
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_FALSE(dlg.Progress().IsOpen());
}

TEST_F(UtilityDlgTest, TabsCarryTheirTextsInOrder) {
    const char* texts[] = {"QOR IP Addr",      "Message Routing", "Email",        "Reset",
                           "Utility Settings", "Web Config",      "Web Data Desc"};
    ASSERT_EQ(dlg.Tabs().Count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(dlg.Tabs().Text(i), texts[i]);
}

TEST_F(UtilityDlgTest, StoreAllPagesSkipsTheResetPageAndPassesTheDownloadAllFlag) {
    dlg.Link().downloadAll = 1;
    dlg.StoreAllPages();
    EXPECT_EQ(log, (Log{"storeF0", "storeF1", "storeF2", "storeF4", "storeF5", "storeF6"}));
}

TEST_F(UtilityDlgTest, GoOfflineShowsOfflineKeepsTheValueSourceAndNotifiesOnlyWhenAsked) {
    Started();
    dlg.Doc().SET(QorDoc::kIdHwAddress, "00-80-C2-01-02-03");
    dlg.GoOffline(false);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_EQ(dlg.ValueSource(), "Default Values");
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "");
    dlg.GoOffline(true);
    EXPECT_EQ(log, (Log{"down[Offline]3", "down[Offline]4"}));
}

TEST_F(UtilityDlgTest, ApplyTabRules) {
    struct Row {
        int page;
        bool files;     // QOR, Defaults, File Load, File Save, Text load and save
        bool download;  // RAM and ROM
    };
    const Row rows[] = {{0, true, true},   {1, true, true}, {2, true, true}, {3, true, false},
                        {4, false, false}, {5, true, true}, {6, true, true}};
    Started();
    for (const Row& r : rows) {
        dlg.ApplyTabRules(r.page);
        for (CButton* b : {&dlg.QorButton(), &dlg.DefaultsButton(), &dlg.FileLoadButton(),
                           &dlg.FileSaveButton(), &dlg.TextLoadButton(), &dlg.TextSaveButton()})
            EXPECT_EQ(b->IsEnabled(), r.files) << "page " << r.page << " " << b->Text();
        EXPECT_EQ(dlg.RamButton().IsEnabled(), r.download) << "page " << r.page;
        EXPECT_EQ(dlg.RomButton().IsEnabled(), r.download) << "page " << r.page;
        EXPECT_TRUE(dlg.HelpButton().IsEnabled());
        EXPECT_TRUE(dlg.Tabs().IsEnabled());
    }
}

TEST_F(UtilityDlgTest, SetCommandsEnabledTurnsEverythingOffBelowTheResetPage) {
    Started();
    dlg.SetCommandsEnabled(false);
    for (CButton* b : AllCommands())
        EXPECT_FALSE(b->IsEnabled()) << b->Text();
    EXPECT_FALSE(dlg.HelpButton().IsEnabled());
    EXPECT_FALSE(dlg.Tabs().IsEnabled());
    dlg.SetCommandsEnabled(true);
    for (CButton* b : AllCommands())
        EXPECT_TRUE(b->IsEnabled()) << b->Text();
    EXPECT_TRUE(dlg.Tabs().IsEnabled());
}

TEST_F(UtilityDlgTest, SetCommandsEnabledLeavesTabsRamAndRomAloneFromTheResetPageOn) {
    for (int page : {3, 5, 6}) {
        Started();
        dlg.SelectPage(page);
        ASSERT_EQ(dlg.Tabs().VisibleIndex(), page);
        bool download = dlg.RamButton().IsEnabled();
        dlg.SetCommandsEnabled(false);
        EXPECT_FALSE(dlg.QorButton().IsEnabled());
        EXPECT_FALSE(dlg.HelpButton().IsEnabled());
        EXPECT_TRUE(dlg.Tabs().IsEnabled()) << page;
        EXPECT_EQ(dlg.RamButton().IsEnabled(), download) << page;
        EXPECT_EQ(dlg.RomButton().IsEnabled(), download) << page;
        dlg.SetCommandsEnabled(true);
        EXPECT_EQ(dlg.RamButton().IsEnabled(), download) << page;
        dlg.SelectPage(0);
    }
}

TEST_F(UtilityDlgTest, SelectingATabChecksTheVisiblePageThenSwitchesAndRefreshes) {
    Started();
    dlg.SelectPage(4);
    EXPECT_EQ(log, (Log{"check0", "differs0", "differs1", "differs2", "differs4", "differs5",
                        "differs6"}));
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 4);
    EXPECT_EQ(dlg.Tabs().CurSel(), 4);
    for (CButton* b : AllCommands())
        EXPECT_FALSE(b->IsEnabled()) << b->Text();
    dlg.SelectPage(3);
    EXPECT_TRUE(dlg.QorButton().IsEnabled());
    EXPECT_FALSE(dlg.RamButton().IsEnabled());
}

TEST_F(UtilityDlgTest, ARefusedCheckKeepsThePageAndItsTabInFrontButStillRefreshes) {
    Started();
    pages[0]->accepts = false;
    pages[1]->differs = true;
    dlg.SelectPage(2);
    EXPECT_EQ(log, (Log{"check0", "differs0", "differs1"}));
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 0);
    EXPECT_EQ(dlg.Tabs().CurSel(), 0);
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
}

TEST_F(UtilityDlgTest, SelectingTheVisibleTabOnlyRefreshes) {
    Started();
    dlg.SelectPage(0);
    EXPECT_EQ(log.front(), "differs0");
    EXPECT_EQ(log.size(), 6u);
}

TEST_F(UtilityDlgTest, TabRequestsGoThroughSelectPageOnlyWhileTheTabsAreEnabled) {
    Started();
    dlg.Tabs().RequestSelect(2);
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 2);
    dlg.Tabs().Enable(false);
    log.clear();
    dlg.Tabs().RequestSelect(1);
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 2);
    EXPECT_TRUE(log.empty());
}

TEST_F(UtilityDlgTest, ValidatePagesBringsTheFirstRefusingPageToTheFront) {
    Started();
    pages[4]->accepts = false;
    pages[5]->accepts = false;
    EXPECT_FALSE(dlg.ValidatePages());
    EXPECT_EQ(log, (Log{"check0", "check1", "check2", "check3", "check4"}));
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 4);
    EXPECT_EQ(dlg.Tabs().CurSel(), 4);
    EXPECT_FALSE(dlg.QorButton().IsEnabled());  // the Utility Settings rules apply

    pages[4]->accepts = true;
    pages[5]->accepts = true;
    log.clear();
    EXPECT_TRUE(dlg.ValidatePages());
    EXPECT_EQ(log.size(), 7u);
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 4);
}

TEST_F(UtilityDlgTest, RefreshStatusShowsModifiedWhileAPageDiffersAndStopsAtTheFirst) {
    Started();
    pages[2]->differs = true;
    pages[5]->differs = true;
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_EQ(log, (Log{"differs0", "differs1", "differs2"}));
    EXPECT_EQ(dlg.ValueSource(), "Default Values");

    pages[2]->differs = false;
    pages[5]->differs = false;
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

TEST_F(UtilityDlgTest, TheResetPageNeverCountsAsModified) {
    Started();
    pages[3]->differs = true;
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_TRUE(dlg.RequestClose());
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(UtilityDlgTest, ClosingAsksNothingWhenThePagesEqualTheDocument) {
    Started();
    EXPECT_TRUE(dlg.RequestClose());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(log.back(), "down[Offline]4");
}

TEST_F(UtilityDlgTest, ClosingWithChangesAsksAndNoKeepsTheWindow) {
    Started();
    pages[2]->differs = true;
    ui.ExpectMessage(UiHost::Answer::No);
    EXPECT_FALSE(dlg.RequestClose());
    ASSERT_EQ(ui.Messages().size(), 1u);
    const auto& m = ui.Messages()[0];
    EXPECT_EQ(m.text,
              "The tool contains information that has not been saved to file or the device.\n"
              "Data Loss will occur.\n\nDo you really want to proceed?");
    EXPECT_EQ(m.caption, "QOR / QORW Utility");
    EXPECT_EQ(m.icon, UiHost::Icon::None);
    EXPECT_EQ(m.buttons, UiHost::Buttons::YesNo);
    EXPECT_EQ(m.defaultAnswer, UiHost::Answer::No);
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");  // still online-or-not as it was

    ui.ExpectMessage(UiHost::Answer::Yes);
    EXPECT_TRUE(dlg.RequestClose());
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
}

TEST_F(UtilityDlgTest, SeriesGoesToTheEmailAndUtilitySettingsPagesOnly) {
    dlg.SeriesSelected(2);
    EXPECT_EQ(log, (Log{"series2-2", "series2-4"}));
}

TEST_F(UtilityDlgTest, DefaultsReloadStoreGoOfflineAndShowDefaultValues) {
    Started();
    dlg.SetValueSource("File Values");
    log.clear();
    dlg.DefaultsButton().Click();
    EXPECT_EQ(log, (Log{"defaults0", "defaults1", "defaults2", "defaults3", "defaults4",
                        "defaults5", "defaults6", "store0", "store1", "store2", "store4", "store5",
                        "store6", "down[Offline]3", "down[Offline]4"}));
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_EQ(dlg.ValueSource(), "Default Values");
}

TEST_F(UtilityDlgTest, ADisabledButtonDoesNothing) {
    Started();
    dlg.SetValueSource("File Values");
    dlg.DefaultsButton().Enable(false);
    dlg.DefaultsButton().Click();
    EXPECT_EQ(dlg.ValueSource(), "File Values");
}

TEST_F(UtilityDlgTest, CancelledFileDialogsChangeNothing) {
    Started();
    pages[1]->differs = true;
    dlg.RefreshStatus();
    log.clear();
    for (CButton* b : {&dlg.FileLoadButton(), &dlg.TextLoadButton()}) {
        ui.QueueOpenName(std::nullopt);
        b->Click();
    }
    for (CButton* b : {&dlg.FileSaveButton(), &dlg.TextSaveButton()}) {
        ui.QueueSaveName(std::nullopt);
        b->Click();
    }
    EXPECT_EQ(ui.openFilters,
              (std::vector<std::string>{"Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||",
                                        "Text File (*.txt) |*.txt|All Files (*.*)|*.*||"}));
    EXPECT_EQ(ui.saveFilters,
              (std::vector<std::string>{"Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||",
                                        "Text File (*.txt) |*.txt|All Files (*.*)|*.*||"}));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    for (const std::string& entry : log) {
        EXPECT_TRUE(entry.rfind("check", 0) == 0) << entry;  // only File Save's page checks
    }
}

TEST_F(UtilityDlgTest, FailedFileCommandsLeaveStatusAndDocumentAlone) {
    Started();
    pages[1]->differs = true;
    dlg.RefreshStatus();
    log.clear();
    const std::string missing = "/nonexistent-qor-dir/config";
    ui.QueueOpenName(missing + ".dcf");
    ui.QueueOpenName(missing + ".txt");
    ui.QueueSaveName(missing + ".dcf");
    ui.QueueSaveName(missing + ".txt");
    for (int i = 0; i < 4; ++i)
        ui.ExpectMessage();
    dlg.OnFileLoad();
    dlg.OnTextLoad();
    dlg.OnFileSave();
    dlg.OnTextSave();
    ASSERT_EQ(ui.Messages().size(), 4u);
    for (const auto& m : ui.Messages()) {
        EXPECT_EQ(m.text, "File could not be opened");
        EXPECT_EQ(m.icon, UiHost::Icon::Exclamation);
    }
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_EQ(dlg.ValueSource(), "Default Values");
    for (const std::string& entry : log) {
        EXPECT_EQ(entry.find("store"), std::string::npos) << entry;
        EXPECT_EQ(entry.find("down"), std::string::npos) << entry;
    }
}

TEST_F(UtilityDlgTest, SaveAndDownloadCommandsStopAtARefusingPage) {
    Started();
    pages[2]->accepts = false;
    dlg.OnFileSave();  // no save dialog is scripted: one would fail the test
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 2);
    dlg.SelectPage(0);  // refused: the E-mail page still holds its bad value
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 2);
    log.clear();
    dlg.OnRam();
    dlg.OnRom();
    EXPECT_EQ(log, (Log{"check0", "check1", "check2", "check0", "check1", "check2"}));
}

TEST_F(UtilityDlgTest, HelpOpensTheOverviewTopicAndSaysSoWhenItCannot) {
    Started();
    dlg.HelpButton().Click();
    EXPECT_EQ(ui.helpTopics, (std::vector<std::string>{"qorwutil.chm::/Overview.htm"}));
    EXPECT_TRUE(ui.Messages().empty());
    ui.helpOpens = false;
    ui.ExpectMessage();
    dlg.OnHelp();
    EXPECT_EQ(ui.LastMessage(), "The help page could not be opened.\nNo viewer for it was found.");
}

TEST_F(UtilityDlgTest, WindowEnabledFlagAndItsListener) {
    int changes = 0;
    dlg.Window().SetViewListener([&] { ++changes; });
    dlg.EnableWindow(false);
    EXPECT_FALSE(dlg.IsWindowEnabled());
    dlg.EnableWindow(true);
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(dlg.IsBusy());
}

}  // namespace

// The window with its real pages: the defaults it stores must be what the pages compare with.
TEST(UtilityDlgWithPages, StartsEqualToTheDocumentAndAsksOnCloseOnlyAfterAnEdit) {
    ScriptedUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Start();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    EXPECT_TRUE(dlg.ValidatePages());
    EXPECT_EQ(dlg.Tabs().VisibleIndex(), 0);
    EXPECT_TRUE(dlg.RequestClose());
    EXPECT_TRUE(ui.Messages().empty());

    CIPAddrEdit& server = dlg.EmailPage().ServerField();
    std::string before = server.GetText();
    server.SetFocus(false);
    server.SetSel(0, 0);
    server.Char('1');
    ASSERT_NE(server.GetText(), before);
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    ui.ExpectMessage(UiHost::Answer::No);
    EXPECT_FALSE(dlg.RequestClose());
    EXPECT_EQ(ui.Messages().size(), 1u);

    dlg.OnDefaults();
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
}

// A close request and a second command arriving while an upload runs (the operation processes
// pending events between parameters) are refused; afterwards the window closes normally.
TEST(UtilityDlgBusy, NoCloseAndNoSecondOperationWhileAnUploadRuns) {
    struct ProbePage : CConfigPage {
        CUtilityDlg* dlg = nullptr;
        int queued = 0;
        bool mayClose = true;
        bool busy = false;
        void QueueParameters(QorDoc&) override {
            if (++queued > 1) return;  // the nested command must not get this far
            busy = dlg->IsBusy();
            mayClose = dlg->RequestClose();
            dlg->OnQor();
        }
    } probe;
    setenv("QORW_COM29", "/nonexistent-qor-dir/ttyQ29", 1);
    ScriptedUiHost ui;
    ui.AllowMessages();
    CUtilityDlg dlg(ui);
    probe.dlg = &dlg;
    dlg.Tabs().SetPage(0, probe);
    dlg.Start();
    dlg.Link().comPort = 29;
    dlg.Link().uploadActiveTab = 0;
    dlg.QorButton().Click();
    EXPECT_TRUE(probe.busy);
    EXPECT_FALSE(probe.mayClose);
    EXPECT_EQ(probe.queued, 1);
    EXPECT_FALSE(dlg.IsBusy());
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(dlg.QorButton().IsEnabled());
    EXPECT_FALSE(dlg.Progress().IsOpen());
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_TRUE(dlg.RequestClose());
    unsetenv("QORW_COM29");
}
