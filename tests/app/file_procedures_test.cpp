#include "app/file_procedures.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "files/config_text.h"
#include "files/temp_dir.h"
#include "model/qor_doc.h"
#include "pages/config_page.h"
#include "support/scripted_ui_host.h"

namespace {

using Kind = CDcfArchive::FailureKind;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b)
        s.push_back(static_cast<char>(x));
    return s;
}

// A page with one value of each kind, in both files; it logs the calls it receives.
struct FakePage : CConfigPage {
    FakePage(std::string n, std::vector<std::string>& l) : name(std::move(n)), log(l) {}

    void ExchangeDcf(CDcfArchive& ar) override {
        log.push_back(name + (ar.IsStoring() ? " store" : " load"));
        if (onDcf)
            return onDcf(ar);
        ar.Int32(number);
        ar.Text(text);
        ar.Address(address);
    }
    void WriteSection(CTextOutFile& file, QorDoc&) override {
        log.push_back(name + " write");
        WriteText(file, "\r\n[" + name + "]\r\n");
        WriteFormat(file, "Number: %d\r\n", number);
        WriteText(file, "Text: " + text + "\r\n");
    }
    void ReadSection(CConfigTextReader& reader) override {
        log.push_back(name + " read");
        if (onRead)
            return onRead(reader);
        reader.FindSection("[" + name + "]");
        number = std::stoi(reader.ReadParam("Number: "));
        text = reader.ReadParam("Text: ");
    }

    std::string name;
    std::vector<std::string>& log;
    int32_t number = 0;
    std::string text;
    std::array<uint8_t, 4> address{};
    std::function<void(CDcfArchive&)> onDcf;
    std::function<void(CConfigTextReader&)> onRead;

    void Reset() {
        number = 0;
        text.clear();
        address = {};
    }
};

class FileProceduresTest : public ::testing::Test {
protected:
    FileProceduresTest() {
        for (const char* n : {"P0", "P1", "P2"}) {
            owned_.push_back(std::make_unique<FakePage>(n, log_));
            pages_.push_back(owned_.back().get());
        }
    }
    FakePage& Page(int i) { return *owned_[i]; }
    void Fill() {
        for (int i = 0; i < 3; ++i) {
            Page(i).number = 100 + i;
            Page(i).text = "text " + std::to_string(i);
            Page(i).address = {10, 1, 2, static_cast<uint8_t>(i)};
        }
    }
    // The only message shown, with the exclamation icon and an OK button.
    std::string OnlyError() {
        EXPECT_EQ(ui_.Messages().size(), 1u);
        if (ui_.Messages().empty())
            return {};
        EXPECT_EQ(ui_.Messages()[0].icon, UiHost::Icon::Exclamation);
        EXPECT_EQ(ui_.Messages()[0].buttons, UiHost::Buttons::Ok);
        return ui_.Messages()[0].text;
    }

    TempDir dir_;
    ScriptedUiHost ui_;
    QorDoc doc_;
    std::vector<std::string> log_;
    std::vector<std::unique_ptr<FakePage>> owned_;
    std::vector<CConfigPage*> pages_;
};

TEST_F(FileProceduresTest, DcfSaveWritesVersionAndPagesInOrderAndLoadsBack) {
    Fill();
    std::string path = dir_.File("a.dcf");
    ASSERT_TRUE(SaveDcfPages(path, pages_, ui_));
    EXPECT_EQ(log_, (std::vector<std::string>{"P0 store", "P1 store", "P2 store"}));
    std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 17u);
    EXPECT_EQ(bytes.substr(0, 17),
              Bytes({4, 0, 0, 0, 100, 0, 0, 0, 6, 't', 'e', 'x', 't', ' ', '0', 10, 1}));
    EXPECT_EQ(dir_.EntryCount(), 1u);

    for (int i = 0; i < 3; ++i)
        Page(i).Reset();
    log_.clear();
    int32_t version = 0;
    ASSERT_TRUE(LoadDcfPages(path, pages_, ui_, version));
    EXPECT_EQ(version, 4);
    EXPECT_EQ(log_, (std::vector<std::string>{"P0 load", "P1 load", "P2 load"}));
    EXPECT_EQ(Page(2).number, 102);
    EXPECT_EQ(Page(2).text, "text 2");
    EXPECT_EQ(Page(2).address, (std::array<uint8_t, 4>{10, 1, 2, 2}));

    // Saved again, byte for byte the same.
    std::string again = dir_.File("b.dcf");
    ASSERT_TRUE(SaveDcfPages(again, pages_, ui_));
    EXPECT_EQ(ReadFileBytes(again), bytes);
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(FileProceduresTest, DcfOlderVersionsAreReadAndKnownToThePagesBeforeTheyRead) {
    for (int v : {1, 2, 3}) {
        int32_t version = 0;
        int32_t seen = -1;
        Page(0).onDcf = [&](CDcfArchive& ar) {
            seen = version;
            ar.ReadByte();
        };
        Page(1).onDcf = Page(2).onDcf = [](CDcfArchive&) {};
        std::string path = dir_.Write("v.dcf", Bytes({v, 0, 0, 0, 9}));
        EXPECT_TRUE(LoadDcfPages(path, pages_, ui_, version)) << v;
        EXPECT_EQ(version, v);
        EXPECT_EQ(seen, v);
    }
}

TEST_F(FileProceduresTest, DcfLoadFailures) {
    Fill();
    std::string good = dir_.File("good.dcf");
    ASSERT_TRUE(SaveDcfPages(good, pages_, ui_));
    std::string whole = ReadFileBytes(good);
    const size_t firstRecord = 4 + 4 + 7 + 4;

    struct Case {
        const char* what;
        std::string name;
        std::string message;
        std::vector<std::string> pagesCalled;
    } cases[] = {
        {"no name", "", "Filename not specified", {}},
        {"missing", dir_.File("missing.dcf"), "File could not be opened", {}},
        {"version 5",
         dir_.Write("v5.dcf", Bytes({5, 0, 0, 0}) + whole.substr(4)),
         "Unknown .dcf file format",
         {}},
        {"version 0", dir_.Write("v0.dcf", Bytes({0, 0, 0, 0})), "Unknown .dcf file format", {}},
        {"negative",
         dir_.Write("vn.dcf", Bytes({0xFF, 0xFF, 0xFF, 0xFF})),
         "Unknown .dcf file format",
         {}},
        {"empty", dir_.Write("empty.dcf", ""), "End of file reached", {}},
        {"short version", dir_.Write("short.dcf", Bytes({4, 0})), "End of file reached", {}},
        {"cut in the second record",
         dir_.Write("cut.dcf", whole.substr(0, firstRecord + 6)),
         "End of file reached",
         {"P0 load", "P1 load"}},
        {"claims more than it holds",
         dir_.Write("claim.dcf",
                    whole.substr(0, firstRecord) + Bytes({1, 0, 0, 0, 0xFF, 0xF0, 0xFF, 'x'})),
         "End of file reached",
         {"P0 load", "P1 load"}},
        {"a folder", dir_.Path(), "Unable to read file", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 3; ++i)
            Page(i).number = -1, Page(i).text = "before";
        log_.clear();
        ui_.ClearMessages();
        ui_.ExpectMessage();
        int32_t version = 77;
        EXPECT_FALSE(LoadDcfPages(c.name, pages_, ui_, version));
        EXPECT_EQ(OnlyError(), c.message);
        EXPECT_EQ(log_, c.pagesCalled);
        if (c.pagesCalled.empty()) {
            EXPECT_EQ(version, 77);
        }
        // What was read before the failure stays; the pages after it are untouched.
        if (c.pagesCalled.size() == 2) {
            EXPECT_EQ(Page(0).text, "text 0");
            EXPECT_EQ(Page(2).text, "before");
        }
    }
}

TEST_F(FileProceduresTest, DcfFailuresRaisedInsideAPage) {
    struct Case {
        std::function<void(CDcfArchive&)> page;
        std::string loadMessage, saveMessage;
    } cases[] = {
        {[](CDcfArchive& ar) { ar.WriteInt32(1); }, "File already opened for reading", ""},
        {[](CDcfArchive& ar) { ar.ReadInt32(); }, "", "Unable to write the database"},
        {[](CDcfArchive&) { throw CDcfArchive::Failure(Kind::WriteOnly); },
         "File already opened for storing", "Unable to write the database"},
        {[](CDcfArchive&) { throw CDcfArchive::Failure(Kind::ReadOnly); },
         "File already opened for reading", "File already opened for reading"},
        {[](CDcfArchive&) { throw CDcfArchive::Failure(Kind::BadIndex); }, "Invalid file format",
         "Unable to write the database"},
        {[](CDcfArchive&) { throw CDcfArchive::Failure(Kind::BadClass); }, "Invalid file format",
         "Unable to write the database"},
        {[](CDcfArchive&) { throw CDcfArchive::Failure(Kind::BadSchema); },
         "Incorrect file version", "Unable to write the database"},
        {[](CDcfArchive&) { throw std::bad_alloc(); }, "Out of memory", "Out of memory"},
    };
    Page(0).onDcf = Page(2).onDcf = [](CDcfArchive&) {};
    std::string old = dir_.Write("old.dcf", "old contents");
    std::string input = dir_.Write("in.dcf", Bytes({4, 0, 0, 0, 1, 0, 0, 0}));
    for (const auto& c : cases) {
        Page(1).onDcf = c.page;
        if (!c.loadMessage.empty()) {
            ui_.ClearMessages();
            ui_.ExpectMessage();
            int32_t version = 0;
            EXPECT_FALSE(LoadDcfPages(input, pages_, ui_, version));
            EXPECT_EQ(OnlyError(), c.loadMessage);
        }
        if (!c.saveMessage.empty()) {
            ui_.ClearMessages();
            ui_.ExpectMessage();
            EXPECT_FALSE(SaveDcfPages(old, pages_, ui_));
            EXPECT_EQ(OnlyError(), c.saveMessage);
            EXPECT_EQ(ReadFileBytes(old), "old contents");
            EXPECT_EQ(dir_.EntryCount(), 2u);  // no new file left behind
        }
    }
}

TEST_F(FileProceduresTest, SaveFailuresLeaveTheOldFile) {
    std::string readOnly = dir_.Write("ro.dcf", "protected");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    struct Case {
        std::string name, message;
    } cases[] = {
        {"", "Filename not specified"},
        {dir_.File("no/such/folder.dcf"), "File could not be opened"},
        {dir_.Path(), "File could not be opened"},
        {readOnly, "File could not be opened"},
    };
    for (const auto& c : cases) {
        if (c.name == readOnly && geteuid() == 0)
            continue;  // root may write anything
        for (bool text : {false, true}) {
            SCOPED_TRACE(c.name + (text ? " text" : " dcf"));
            ui_.ClearMessages();
            ui_.ExpectMessage();
            bool ok =
                text ? SaveTextPages(c.name, pages_, doc_, ui_) : SaveDcfPages(c.name, pages_, ui_);
            EXPECT_FALSE(ok);
            EXPECT_EQ(OnlyError(), c.message);
            EXPECT_TRUE(log_.empty());
        }
    }
    EXPECT_EQ(ReadFileBytes(readOnly), "protected");
    EXPECT_EQ(dir_.EntryCount(), 1u);
}

TEST_F(FileProceduresTest, SaveReplacesAFileAndKeepsItsPermissions) {
    std::string path = dir_.Write("keep.dcf", "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(SaveDcfPages(path, pages_, ui_));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFileBytes(path).substr(0, 4), Bytes({4, 0, 0, 0}));

    // Through a link, the file it names is replaced and the link stays.
    std::string link = dir_.File("link.dcf");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    Page(0).number = 55;
    ASSERT_TRUE(SaveDcfPages(link, pages_, ui_));
    struct stat lst {};
    ASSERT_EQ(lstat(link.c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(ReadFileBytes(path)[4], 55);
    EXPECT_EQ(dir_.EntryCount(), 2u);
}

// The save runs in a child whose files may not grow past a few kilobytes, as on a full disk.
void ExpectInterruptedSaveKeepsTheOldFile(bool text) {
    TempDir dir;
    std::string path = dir.Write(text ? "big.txt" : "big.dcf", "previous contents");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<std::string> log;
        FakePage page("Big", log);
        page.text = std::string(100000, 'b');
        std::vector<CConfigPage*> pages{&page};
        ScriptedUiHost ui;
        ui.AllowMessages();
        QorDoc doc;
        bool ok = text ? SaveTextPages(path, pages, doc, ui) : SaveDcfPages(path, pages, ui);
        _exit(!ok && ui.MessageTexts() == std::vector<std::string>{"Error writing to file"} ? 0
                                                                                            : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not fail with \"Error writing to file\"";
    EXPECT_EQ(ReadFileBytes(path), "previous contents");
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(FileProceduresInterrupted, DcfSave) {
    ExpectInterruptedSaveKeepsTheOldFile(false);
}
TEST(FileProceduresInterrupted, TextSave) {
    ExpectInterruptedSaveKeepsTheOldFile(true);
}

TEST_F(FileProceduresTest, TextSaveWritesTheFrameAndLoadsBack) {
    Fill();
    std::string path = dir_.File("a.txt");
    ASSERT_TRUE(SaveTextPages(path, pages_, doc_, ui_));
    EXPECT_EQ(log_, (std::vector<std::string>{"P0 write", "P1 write", "P2 write"}));
    EXPECT_EQ(ReadFileBytes(path),
              "[QorConfiguration]\r\nVersion: 4\r\n"
              "[P0]\r\nNumber: 100\r\nText: text 0\r\n"
              "\r\n[P1]\r\nNumber: 101\r\nText: text 1\r\n"
              "\r\n[P2]\r\nNumber: 102\r\nText: text 2\r\n");

    for (int i = 0; i < 3; ++i)
        Page(i).Reset();
    log_.clear();
    std::string error = "stale";
    ASSERT_EQ(LoadTextPages(path, pages_, ui_, error), TextLoadOutcome::Loaded);
    EXPECT_EQ(error, "");
    EXPECT_EQ(log_, (std::vector<std::string>{"P0 read", "P1 read", "P2 read"}));
    EXPECT_EQ(Page(1).number, 101);
    EXPECT_EQ(Page(2).text, "text 2");
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(FileProceduresTest, TextLoadAcceptsOtherOrdersAndLineEnds) {
    std::string path = dir_.Write("o.txt",
                                  "[P2]\nNumber: 2\n\nText: two\n[P0]\rNumber: 0\rText: zero\r"
                                  "\r\n\r\n[P1]\r\nNumber: 1\r\n\r\nText: one");
    std::string error;
    ASSERT_EQ(LoadTextPages(path, pages_, ui_, error), TextLoadOutcome::Loaded);
    EXPECT_EQ(Page(0).text, "zero");
    EXPECT_EQ(Page(1).text, "one");
    EXPECT_EQ(Page(2).text, "two");
}

TEST_F(FileProceduresTest, TextContentErrorIsHandedBackUnshown) {
    std::string path = dir_.Write("m.txt", "[P0]\r\nNumber: 5\r\nText: zero\r\n");
    std::string error;
    EXPECT_EQ(LoadTextPages(path, pages_, ui_, error), TextLoadOutcome::ContentError);
    EXPECT_EQ(error, "Text file load ABORTED!\nFailed to locate \"[P1]\" section.");
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_EQ(Page(0).text, "zero");  // what was read stays until the caller loads defaults
    EXPECT_EQ(log_, (std::vector<std::string>{"P0 read", "P1 read"}));
}

TEST_F(FileProceduresTest, TextLoadFailures) {
    struct Case {
        const char* what;
        std::string name;
        std::function<void(CConfigTextReader&)> page;
        std::string message;
    } cases[] = {
        {"no name", "", {}, "Filename not specified"},
        {"missing", dir_.File("missing.txt"), {}, "File could not be opened"},
        {"a folder", dir_.Path(), [](CConfigTextReader& r) { r.FindSection("[P0]"); },
         "Unable to read file"},
        {"memory", dir_.Write("x.txt", "x"), [](CConfigTextReader&) { throw std::bad_alloc(); },
         "Out of memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Page(0).onRead = c.page;
        ui_.ClearMessages();
        ui_.ExpectMessage();
        std::string error;
        EXPECT_EQ(LoadTextPages(c.name, pages_, ui_, error), TextLoadOutcome::Failed);
        EXPECT_EQ(OnlyError(), c.message);
        EXPECT_EQ(error, "");
    }
}

}  // namespace
