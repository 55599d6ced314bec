#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/utility_dlg.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "support/scripted_ui_host.h"

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b)
        s.push_back(static_cast<char>(x));
    return s;
}

// A page that logs what the window asks of it and keeps one number in both files.
struct RecordingPage : CConfigPage {
    RecordingPage(std::string n, std::vector<std::string>& l, ScriptedUiHost& u)
        : name(std::move(n)), log(l), ui(u) {}

    void ExchangeDcf(CDcfArchive& ar) override {
        log.push_back(name + " dcf");
        ar.Int32(value);
    }
    void LoadDefaults() override {
        log.push_back(name + " defaults");
        messagesAtDefaults = ui.Messages().size();
        value = 0;
    }
    void StoreToDocument(QorDoc&, bool) override { log.push_back(name + " store"); }
    void WriteSection(CTextOutFile& file, QorDoc&) override {
        log.push_back(name + " write");
        WriteFormat(file, "\r\n[%s]\r\nValue: %d\r\n", name.c_str(), value);
    }
    void ReadSection(CConfigTextReader& reader) override {
        log.push_back(name + " read");
        if (onRead)
            return onRead(reader);
        reader.FindSection("[" + name + "]");
        value = std::stoi(reader.ReadParam("Value: "));
    }
    void LinkDown() override { log.push_back(name + " linkdown"); }
    bool DiffersFromDocument(QorDoc&) override { return differs; }

    std::string name;
    std::vector<std::string>& log;
    ScriptedUiHost& ui;
    int32_t value = 0;
    bool differs = false;
    size_t messagesAtDefaults = 0;
    std::function<void(CConfigTextReader&)> onRead;
};

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommandsTest() : dlg_(ui_) {}

    // Puts recording pages behind the seven tabs, so the frame is seen on its own.
    void UseRecordingPages() {
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) {
            pages_.push_back(std::make_unique<RecordingPage>("P" + std::to_string(i), log_, ui_));
            dlg_.Tabs().SetPage(i, *pages_.back());
        }
    }
    RecordingPage& Fake(int i) { return *pages_[i]; }
    std::vector<std::string> Calls(const std::string& what) const {
        std::vector<std::string> calls;
        for (const auto& c : log_) {
            if (c.size() > what.size() && c.compare(c.size() - what.size(), what.size(), what) == 0)
                calls.push_back(c);
        }
        return calls;
    }
    std::vector<std::string> AllPages(const std::string& what) const {
        std::vector<std::string> calls;
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i)
            calls.push_back("P" + std::to_string(i) + " " + what);
        return calls;
    }

    TempDir dir_;
    ScriptedUiHost ui_;
    CUtilityDlg dlg_;
    std::vector<std::string> log_;
    std::vector<std::unique_ptr<RecordingPage>> pages_;
};

TEST_F(FileCommandsTest, DcfSaveAndLoadRoundTripWithTheWindowsPages) {
    dlg_.Start();
    std::string path = dir_.File("pages.dcf");
    ui_.QueueSaveName(path);
    dlg_.FileSaveButton().Click();
    EXPECT_EQ(ui_.saveFilters,
              (std::vector<std::string>{"Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||"}));
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
    std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.substr(0, 4), Bytes({4, 0, 0, 0}));

    dlg_.DefaultsButton().Click();
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
    ui_.QueueOpenName(path);
    dlg_.FileLoadButton().Click();
    EXPECT_EQ(ui_.openFilters,
              (std::vector<std::string>{"Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||"}));
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
    EXPECT_EQ(dlg_.DcfVersion(), 4);

    std::string again = dir_.File("again.dcf");
    ui_.QueueSaveName(again);
    dlg_.FileSaveButton().Click();
    EXPECT_EQ(ReadFileBytes(again), saved);
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(FileCommandsTest, TextSaveAndLoadRoundTripWithTheWindowsPages) {
    dlg_.Start();
    std::string path = dir_.File("pages.txt");
    ui_.QueueSaveName(path);
    dlg_.TextSaveButton().Click();
    EXPECT_EQ(ui_.saveFilters,
              (std::vector<std::string>{"Text File (*.txt) |*.txt|All Files (*.*)|*.*||"}));
    std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.substr(0, 30), "[QorConfiguration]\r\nVersion: 4");
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");  // a text save changes no status

    ui_.QueueOpenName(path);
    dlg_.TextLoadButton().Click();
    EXPECT_EQ(ui_.openFilters,
              (std::vector<std::string>{"Text File (*.txt) |*.txt|All Files (*.*)|*.*||"}));
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");

    std::string again = dir_.File("again.txt");
    ui_.QueueSaveName(again);
    dlg_.TextSaveButton().Click();
    EXPECT_EQ(ReadFileBytes(again), saved);
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(FileCommandsTest, DcfLoadVisitsThePagesInTabOrderThenStores) {
    UseRecordingPages();
    dlg_.Start();
    std::string path = dir_.Write("v3.dcf", Bytes({3, 0, 0, 0}) + std::string(28, '\x01'));
    log_.clear();
    ui_.QueueOpenName(path);
    dlg_.FileLoadButton().Click();
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_EQ(Calls("dcf"), AllPages("dcf"));
    EXPECT_EQ(Fake(6).value, 0x01010101);
    EXPECT_EQ(dlg_.DcfVersion(), 3);
    EXPECT_FALSE(Calls("store").empty());
    EXPECT_TRUE(Calls("linkdown").empty());  // offline without the page notifications
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
}

TEST_F(FileCommandsTest, DcfLoadFailureTakesNoFollowUpStep) {
    UseRecordingPages();
    dlg_.Start();
    struct Case {
        std::string name, message;
        size_t pagesRead;
    } cases[] = {
        {dir_.File("missing.dcf"), "File could not be opened", 0},
        {dir_.Write("v5.dcf", Bytes({5, 0, 0, 0}) + std::string(28, '\0')),
         "Unknown .dcf file format", 0},
        {dir_.Write("cut.dcf", Bytes({4, 0, 0, 0}) + std::string(10, '\0')), "End of file reached",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        log_.clear();
        ui_.ClearMessages();
        ui_.ExpectMessage();
        ui_.QueueOpenName(c.name);
        dlg_.FileLoadButton().Click();
        EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(Calls("dcf").size(), c.pagesRead);
        EXPECT_TRUE(Calls("store").empty());
        EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
        if (c.pagesRead == 0) {
            EXPECT_EQ(dlg_.DcfVersion(), 0);
        }
    }
}

TEST_F(FileCommandsTest, TextLoadContentErrorLoadsDefaultsThenShowsTheMessage) {
    UseRecordingPages();
    dlg_.Start();
    std::string path = dir_.Write("t.txt", "[P0]\r\nValue: 5\r\n[P1]\r\nValue: 6\r\n");
    ui_.ExpectMessage();
    ui_.QueueOpenName(path);
    log_.clear();
    dlg_.TextLoadButton().Click();
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_EQ(ui_.Messages()[0].text,
              "Text file load ABORTED!\nFailed to locate \"[P2]\" section.");
    EXPECT_EQ(ui_.Messages()[0].icon, UiHost::Icon::None);
    EXPECT_EQ(Calls("read"), (std::vector<std::string>{"P0 read", "P1 read", "P2 read"}));
    EXPECT_EQ(Calls("defaults"), AllPages("defaults"));
    EXPECT_EQ(Fake(0).value, 0);                // read, then overwritten by the defaults
    EXPECT_EQ(Fake(6).messagesAtDefaults, 0u);  // the defaults came before the message
    EXPECT_FALSE(Calls("linkdown").empty());
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
}

TEST_F(FileCommandsTest, TextLoadSuccessStoresGoesOfflineAndShowsFileValues) {
    UseRecordingPages();
    dlg_.Start();
    std::string text = "[QorConfiguration]\r\nVersion: 4";
    for (int i = 0; i < 7; ++i)
        text += "\r\n[P" + std::to_string(i) + "]\r\nValue: " + std::to_string(i);
    std::string path = dir_.Write("ok.txt", text);
    log_.clear();
    ui_.QueueOpenName(path);
    dlg_.TextLoadButton().Click();
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_EQ(Calls("read"), AllPages("read"));
    EXPECT_EQ(Fake(5).value, 5);
    EXPECT_FALSE(Calls("store").empty());
    EXPECT_FALSE(Calls("linkdown").empty());
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
}

TEST_F(FileCommandsTest, TextSaveWritesThePagesInOrderAndKeepsModified) {
    UseRecordingPages();
    dlg_.Start();
    Fake(1).differs = true;
    dlg_.RefreshStatus();
    ASSERT_EQ(dlg_.StatusField().Text(), "Modified");
    Fake(3).value = 33;
    std::string path = dir_.File("s.txt");
    log_.clear();
    ui_.QueueSaveName(path);
    dlg_.TextSaveButton().Click();
    EXPECT_EQ(log_, AllPages("write"));
    std::string expected = "[QorConfiguration]\r\nVersion: 4";
    for (int i = 0; i < 7; ++i)
        expected += "\r\n[P" + std::to_string(i) + "]\r\nValue: " + (i == 3 ? "33" : "0") + "\r\n";
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(dlg_.StatusField().Text(), "Modified");
}

TEST_F(FileCommandsTest, CancelledDialogsChangeNothing) {
    UseRecordingPages();
    dlg_.Start();
    log_.clear();
    for (CButton* b : {&dlg_.FileLoadButton(), &dlg_.TextLoadButton()}) {
        ui_.QueueOpenName(std::nullopt);
        b->Click();
    }
    for (CButton* b : {&dlg_.FileSaveButton(), &dlg_.TextSaveButton()}) {
        ui_.QueueSaveName(std::nullopt);
        b->Click();
    }
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(FileCommandsTest, SaveFailureKeepsTheStatus) {
    UseRecordingPages();
    dlg_.Start();
    log_.clear();
    for (CButton* b : {&dlg_.FileSaveButton(), &dlg_.TextSaveButton()}) {
        ui_.ClearMessages();
        ui_.ExpectMessage();
        ui_.QueueSaveName(dir_.File("no/folder/x"));
        b->Click();
        EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"File could not be opened"});
    }
    EXPECT_TRUE(Calls("store").empty());
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
}

// The window's own pages, with a configuration that differs from the defaults, moved through
// both files.
class RealPagesFileTest : public FileCommandsTest {
protected:
    void SetUp() override {
        dlg_.Start();
        std::string path = dir_.File("defaults.txt");
        ui_.QueueSaveName(path);
        dlg_.TextSaveButton().Click();
        defaults_ = ReadFileBytes(path);
        custom_ = defaults_;
        Replace(custom_, "Baud: Auto\r\n", "Baud: 9600\r\n");
        Replace(custom_, "Route00: 000.000.000.000", "Route00: 010.001.002.003");
        Replace(custom_, "Route49: 000.000.000.000", "Route49: 192.168.001.010");
        ASSERT_TRUE(ui_.Messages().empty());
    }
    static void Replace(std::string& text, const std::string& from, const std::string& to) {
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    void LoadText(const std::string& content) {
        ui_.QueueOpenName(dir_.Write("load.txt", content));
        dlg_.TextLoadButton().Click();
    }
    std::string SaveText() {
        std::string path = dir_.File("saved.txt");
        ui_.QueueSaveName(path);
        dlg_.TextSaveButton().Click();
        return ReadFileBytes(path);
    }
    bool ShowsCustom() {
        return dlg_.IpAddrPage().BaudList().CurText() == "9600" &&
               dlg_.RoutingPage().Route(0) == "010.001.002.003" &&
               dlg_.RoutingPage().Route(49) == "192.168.001.010";
    }
    bool ShowsDefaults() {
        return dlg_.IpAddrPage().BaudList().CurText() == "Auto" &&
               dlg_.RoutingPage().Route(0) == "000.000.000.000";
    }

    std::string defaults_, custom_;
};

TEST_F(RealPagesFileTest, TextLoadsTheSameWhateverTheLineEndsAndOrder) {
    ASSERT_NE(custom_.find("\r\n[TCPIP]"), std::string::npos);
    std::string lf, cr;
    for (char c : custom_) {
        if (c != '\r')
            lf += c;
        if (c != '\n')
            cr += c;
    }
    // The IP address page's two sections moved behind all the others.
    std::string moved = custom_;
    size_t from = moved.find("\r\n\r\n[COMMS]"), to = moved.find("\r\n[Routing]");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos && from < to);
    std::string ip = moved.substr(from, to - from);
    moved.erase(from, to - from);
    moved += "\r\n\r\n\r\n" + ip;

    for (const std::string* content : {&custom_, &lf, &cr, &moved}) {
        dlg_.DefaultsButton().Click();
        ASSERT_TRUE(ShowsDefaults());
        LoadText(*content);
        EXPECT_TRUE(ui_.Messages().empty()) << ui_.LastMessage();
        EXPECT_TRUE(ShowsCustom());
        EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
        EXPECT_EQ(dlg_.Doc().GET(QorDoc::kIdBaud), "9600");
        EXPECT_EQ(SaveText(), custom_);  // the same page contents write the same file
    }
}

TEST_F(RealPagesFileTest, TextWithoutAnEMailSectionLeavesEveryPageOnItsDefaults) {
    LoadText(custom_);
    ASSERT_EQ(dlg_.StatusField().Text(), "File Values");
    std::string broken = custom_;
    Replace(broken, "[EMail]", "[Email]");
    ui_.ExpectMessage();
    LoadText(broken);
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_EQ(ui_.Messages()[0].text,
              "Text file load ABORTED!\nFailed to locate \"[EMail]\" section.");
    EXPECT_EQ(ui_.Messages()[0].icon, UiHost::Icon::None);
    EXPECT_TRUE(ShowsDefaults());
    EXPECT_EQ(dlg_.Doc().GET(QorDoc::kIdBaud), "Auto");
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");
}

TEST_F(RealPagesFileTest, DcfCutInsideTheEMailRecordKeepsWhatWasRead) {
    LoadText(custom_);
    std::string path = dir_.File("custom.dcf");
    ui_.QueueSaveName(path);
    dlg_.FileSaveButton().Click();
    std::string whole = ReadFileBytes(path);
    // Version, the IP address record (six int32 and five addresses), fifty 15-character routes.
    const size_t emailRecord = 4 + 6 * 4 + 5 * 4 + 50 * 16;
    ASSERT_GT(whole.size(), emailRecord + 20);

    dlg_.DefaultsButton().Click();
    ui_.ExpectMessage();
    ui_.QueueOpenName(dir_.Write("cut.dcf", whole.substr(0, emailRecord + 10)));
    dlg_.FileLoadButton().Click();
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"End of file reached"});
    EXPECT_TRUE(ShowsCustom());
    EXPECT_EQ(dlg_.Doc().GET(QorDoc::kIdBaud), "Auto");  // nothing was stored
    EXPECT_EQ(dlg_.StatusField().Text(), "Default Values");

    // Version 5: refused before any page reads.
    dlg_.DefaultsButton().Click();
    ui_.ClearMessages();
    ui_.ExpectMessage();
    std::string v5 = whole;
    v5[0] = 5;
    ui_.QueueOpenName(dir_.Write("v5.dcf", v5));
    dlg_.FileLoadButton().Click();
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"Unknown .dcf file format"});
    EXPECT_TRUE(ShowsDefaults());

    // The whole file loads and stores.
    ui_.ClearMessages();
    ui_.QueueOpenName(path);
    dlg_.FileLoadButton().Click();
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_TRUE(ShowsCustom());
    EXPECT_EQ(dlg_.Doc().GET(QorDoc::kIdFirstRoute + 49), "192.168.001.010");
    EXPECT_EQ(dlg_.StatusField().Text(), "File Values");
}

}  // namespace
