#include "pages/email_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "pages/routing_page.h"
#include "qorsim/sim_module.h"
#include "support/started_window.h"

namespace {

constexpr const char* kDefaultSender = "QOR0.0.0.0@example.com";

struct Fixture : StartedWindow {
    CEmailPage& page = dlg.EmailPage();
    CGridCtrl& grid = page.Grid();

    std::string Section() {
        CTextOutFile out;
        page.WriteSection(out, dlg.Doc());
        return out.Text();
    }
    void Read(const std::string& text, int version = 4) {
        dlg.TextVersion() = version;
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(dir.Write("email.txt", text)));
        page.ReadSection(reader);
    }
    std::string ReadError(const std::string& text, int version = 4) {
        try {
            Read(text, version);
        } catch (const ZUVException& e) {
            return e.Message();
        }
        return {};
    }
    std::string Dest(int d) { return page.Destination(d); }
};

std::string Crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

struct EmailText {
    std::string server = "000.000.000.000";
    std::string from = kDefaultSender;
    std::string user, password, auth = "NO";
    bool login = true;  // version 4 layout
    std::vector<std::pair<int, std::string>> destinations;

    std::string Text() const {
        std::vector<std::string> lines = {"", "[EMail]", "Server: " + server, "From: " + from};
        if (login) {
            lines.push_back("Username: " + user);
            lines.push_back("Password: " + password);
            lines.push_back("SMTP Authentication: " + auth);
        }
        for (int d = 50; d < 100; ++d) {
            std::string value;
            for (const auto& [id, v] : destinations)
                if (id == d) value = v;
            lines.push_back("Address" + std::to_string(d) + ": " + value);
        }
        return Crlf(lines);
    }
};

void Edit(CGridCtrl& grid, int row, const std::string& text) {
    EditCell(grid, row, 2, text, kKeyStart);
}

}  // namespace

TEST(EmailPage, StartsWithItsDefaults) {
    Fixture f;
    EXPECT_EQ(f.page.ServerField().GetText(), "000.000.000.000");
    EXPECT_EQ(f.page.ServerField().Mask(), "###.###.###.###");
    EXPECT_EQ(f.page.ServerField().PromptChar(), '_');
    EXPECT_EQ(f.page.ServerField().Kind(), IpFieldKind::HostAddress);
    EXPECT_FALSE(f.page.AuthCheck().IsChecked());
    EXPECT_EQ(f.page.AuthCheck().Text(), "SMTP Authentication");
    EXPECT_EQ(f.page.AuthFlag(), 0);
    for (CControl* c : {static_cast<CControl*>(&f.page.AuthCheck()),
                        static_cast<CControl*>(&f.page.UsernameField()),
                        static_cast<CControl*>(&f.page.PasswordField())})
        EXPECT_FALSE(c->IsEnabled());
    EXPECT_EQ(f.page.UsernameField().GetText(), "");
    EXPECT_EQ(f.page.PasswordField().GetText(), "");
    EXPECT_TRUE(f.page.PasswordField().IsPassword());
    EXPECT_FALSE(f.page.UsernameField().IsPassword());
    for (CMaskedEdit* e : {&f.page.UsernameField(), &f.page.PasswordField(),
                           static_cast<CMaskedEdit*>(&f.page.SenderField())}) {
        EXPECT_EQ(e->LimitText(), 64);
        EXPECT_FALSE(e->HasMask());
    }
    EXPECT_EQ(f.page.SenderField().GetText(), kDefaultSender);
    EXPECT_TRUE(f.page.SenderField().IsEnabled());

    EXPECT_EQ(f.grid.GetRowCount(), 51);
    EXPECT_EQ(f.grid.GetColumnCount(), 3);
    EXPECT_EQ(f.grid.GetFixedRowCount(), 1);
    EXPECT_EQ(f.grid.GetFixedColumnCount(), 2);
    EXPECT_EQ(f.grid.GetCellText(0, 0), "Destn");
    EXPECT_EQ(f.grid.GetCellText(0, 1), "Config");
    EXPECT_EQ(f.grid.GetCellText(0, 2), "\"To:\"");
    for (int r = 1; r <= 50; ++r) {
        EXPECT_EQ(f.grid.GetCellText(r, 0), std::to_string(r + 49));
        EXPECT_EQ(f.grid.GetCellText(r, 1), std::to_string(r + 149));
        EXPECT_EQ(f.grid.GetCellText(r, 2), "");
        EXPECT_TRUE(f.grid.GetCell(r, 2)->IsKindOf(CGridCellEmailDstn::kClass));
        EXPECT_EQ(f.grid.GetCellFormat(r, 2) & CellFormat::kHorizontalMask, CellFormat::kCenter);
    }
    EXPECT_TRUE(f.grid.IsDragAndDrop());
    EXPECT_FALSE(f.grid.IsColumnResize());

    QorDoc& doc = f.dlg.Doc();
    EXPECT_EQ(doc.GET(176), kDefaultSender);
    EXPECT_EQ(doc.GET(177), "");
    EXPECT_EQ(doc.GET(178), "");
    EXPECT_EQ(doc.GET(179), "0");
    EXPECT_EQ(doc.GET(180), "000.000.000.000");
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));
}

TEST(EmailPage, SeriesDEnablesTheLoginAndEarlierSeriesClearIt) {
    Fixture f;
    f.page.SeriesChanged(2);
    for (CControl* c : {static_cast<CControl*>(&f.page.AuthCheck()),
                        static_cast<CControl*>(&f.page.UsernameField()),
                        static_cast<CControl*>(&f.page.PasswordField())})
        EXPECT_TRUE(c->IsEnabled());
    f.page.UsernameField().SetText("user");
    f.page.PasswordField().SetText("secret");
    f.page.AuthCheck().Click();
    EXPECT_EQ(f.page.AuthFlag(), 1);
    EXPECT_EQ(f.dlg.StatusField().Text(), "Modified");

    f.page.SeriesChanged(3);
    EXPECT_EQ(f.page.UsernameField().GetText(), "user");
    EXPECT_TRUE(f.page.AuthCheck().IsChecked());

    // A refresh from the members also puts the accepted server address back into its entry.
    f.page.ServerField().SetText("010.000.000.001");
    f.page.SeriesChanged(1);
    EXPECT_EQ(f.page.ServerField().GetText(), "000.000.000.000");
    EXPECT_EQ(f.page.UsernameField().GetText(), "");
    EXPECT_EQ(f.page.PasswordField().GetText(), "");
    EXPECT_FALSE(f.page.AuthCheck().IsChecked());
    EXPECT_EQ(f.page.AuthFlag(), 0);
    EXPECT_FALSE(f.page.AuthCheck().IsEnabled());
    EXPECT_FALSE(f.page.UsernameField().IsEnabled());
    EXPECT_FALSE(f.page.PasswordField().IsEnabled());
}

TEST(EmailPage, SenderCheckRefusesWithOneMessageAndSelectsTheFault) {
    struct Case {
        std::string text;
        const char* message;  // null: accepted
        int selStart, selEnd;
    };
    const std::string at64 = std::string(62, 'a') + "@b";
    const Case cases[] = {
        {"", "A value such as \"QOR0.0.0.0@example.com\" IS required.", 0, 0},
        {"a b@c", "Spaces not allowed.", 1, 2},
        {"ab@c d e", "Spaces not allowed.", 4, 5},
        {"abc", "\"@\" symbol IS required.", 0, 3},
        {at64 + "c", "Length cannot exceed 64 characters.", 0, 65},
        {at64, nullptr, 0, 0},
        {"@", nullptr, 0, 0},
        {"x@y", nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        CSenderEdit& sender = f.page.SenderField();
        int focusRequests = 0;
        sender.SetFocusListener([&] { ++focusRequests; });
        sender.SetText(c.text);
        if (c.message) f.ui.ExpectMessage();
        EXPECT_EQ(sender.Leave(), c.message == nullptr) << c.text;
        if (!c.message) {
            EXPECT_TRUE(f.ui.Messages().empty());
            continue;
        }
        ASSERT_EQ(f.ui.Messages().size(), 1u);
        const auto& shown = f.ui.Messages()[0];
        EXPECT_EQ(shown.text, c.message);
        EXPECT_EQ(shown.caption, UiHost::kProgramName);
        EXPECT_EQ(shown.icon, UiHost::Icon::Exclamation);
        EXPECT_EQ(shown.buttons, UiHost::Buttons::Ok);
        EXPECT_EQ(sender.SelStart(), c.selStart) << c.text;
        EXPECT_EQ(sender.SelEnd(), c.selEnd) << c.text;
        EXPECT_EQ(focusRequests, 1);
        // The leave asked for a status refresh before the check.
        EXPECT_EQ(f.dlg.StatusField().Text(), "Modified");
    }
}

TEST(EmailPage, TakingTheValuesChecksServerThenSender) {
    Fixture f;
    f.page.ServerField().SetText("127.000.000.001");
    f.page.SenderField().SetText("");
    f.ui.ExpectMessage();
    EXPECT_FALSE(f.page.TakeControlValues());
    ASSERT_EQ(f.ui.Messages().size(), 1u);  // the first failing field only
    EXPECT_EQ(f.ui.Messages()[0].caption, "Error");

    f.ui.ClearMessages();
    f.page.ServerField().SetText("010.001.002.003");
    f.ui.ExpectMessage();
    EXPECT_FALSE(f.page.TakeControlValues());
    EXPECT_EQ(f.ui.LastMessage(), "A value such as \"QOR0.0.0.0@example.com\" IS required.");

    f.page.SenderField().SetText("me@here");
    EXPECT_TRUE(f.page.TakeControlValues());
    EXPECT_EQ(f.page.ServerAddress(), (std::array<uint8_t, 4>{10, 1, 2, 3}));
}

TEST(EmailPage, DocumentTransfers) {
    Fixture f;
    f.page.SeriesChanged(2);
    QorDoc& doc = f.dlg.Doc();
    doc.ClearQueue();
    f.page.QueueParameters(doc);
    std::vector<int> keys(doc.Queue().begin(), doc.Queue().end());
    std::vector<int> expected = {0xF2, 0xF3, 0xF4, 0xF9, 0xFB};
    for (int k = 150; k < 200; ++k)
        expected.push_back(k);
    EXPECT_EQ(keys, expected);

    doc.SET(177, "user");
    doc.SET(178, "pw");
    doc.SET(179, "1");
    doc.SET(176, "a@b");
    doc.SET(180, "192.168.001.010");
    doc.SET(50, "x@y");
    doc.SET(99, "last@z");
    f.page.LoadFromDocument(doc);
    EXPECT_EQ(f.page.UsernameField().GetText(), "user");
    EXPECT_EQ(f.page.PasswordField().GetText(), "pw");
    EXPECT_TRUE(f.page.AuthCheck().IsChecked());
    EXPECT_EQ(f.page.AuthFlag(), 1);
    EXPECT_EQ(f.page.SenderField().GetText(), "a@b");
    EXPECT_EQ(f.page.ServerField().GetText(), "192.168.001.010");
    EXPECT_EQ(f.Dest(50), "x@y");
    EXPECT_EQ(f.Dest(99), "last@z");
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));

    // A flag text other than "1" and "0" leaves the box as it is.
    doc.SET(179, "2");
    f.page.LoadFromDocument(doc);
    EXPECT_TRUE(f.page.AuthCheck().IsChecked());
    doc.SET(179, "0");
    f.page.LoadFromDocument(doc);
    EXPECT_FALSE(f.page.AuthCheck().IsChecked());
    EXPECT_EQ(f.page.AuthFlag(), 0);

    // Each value on its own makes the page differ.
    const int ids[] = {177, 178, 179, 176, 180, 50, 75, 99};
    for (int id : ids) {
        const std::string old = doc.GET(id);
        doc.SET(id, id == 179 ? "1" : "other");
        EXPECT_TRUE(f.page.DiffersFromDocument(doc)) << id;
        doc.SET(id, old);
    }
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));

    f.page.AuthCheck().Click();
    f.page.UsernameField().SetText("u2");
    Edit(f.grid, 26, "mid@z");
    doc.ClearQueue();
    f.page.StoreToDocument(doc, true);
    EXPECT_EQ(doc.QueueCount(), 55u);
    EXPECT_EQ(doc.GET(179), "1");
    EXPECT_EQ(doc.GET(177), "u2");
    EXPECT_EQ(doc.GET(75), "mid@z");
    EXPECT_EQ(doc.GET(180), "192.168.001.010");
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));
}

TEST(EmailPage, DestinationEditsRunTheCellCheck) {
    Fixture f;
    Edit(f.grid, 1, "ops@example.com");
    EXPECT_EQ(f.Dest(50), "ops@example.com");
    EXPECT_TRUE(f.grid.IsModified(1, 2));
    EXPECT_EQ(f.dlg.StatusField().Text(), "Modified");
    f.ui.ExpectMessage();
    Edit(f.grid, 2, "no at sign");
    EXPECT_EQ(f.ui.LastMessage(), "Spaces not allowed.");
    EXPECT_EQ(f.Dest(51), "");
    f.grid.SetFocusCell(1, 2);
    f.grid.DeleteFocused();  // an empty destination is allowed
    EXPECT_EQ(f.Dest(50), "");
    EXPECT_EQ(f.dlg.StatusField().Text(), "Default Values");
}

TEST(EmailPage, DefaultSectionIsFiftySevenLines) {
    Fixture f;
    std::string expected =
        "\r\n[EMail]\r\n"
        "Server: 000.000.000.000\r\n"
        "From: QOR0.0.0.0@example.com\r\n"
        "Username: \r\n"
        "Password: \r\n"
        "SMTP Authentication: NO\r\n";
    for (int d = 50; d < 100; ++d)
        expected += "Address" + std::to_string(d) + ": \r\n";
    EXPECT_EQ(f.Section(), expected);
    EXPECT_TRUE(f.ui.Messages().empty());
}

TEST(EmailPage, SectionWritesTheLastAcceptedServerAfterARefusal) {
    Fixture f;
    f.page.ServerField().SetText("010.000.000.009");
    ASSERT_TRUE(f.page.TakeControlValues());
    f.page.SeriesChanged(2);
    f.page.AuthCheck().Click();
    f.page.PasswordField().SetText("p w");
    f.page.ServerField().SetText("127.000.000.001");
    f.ui.ExpectMessage();
    const std::string text = f.Section();
    EXPECT_EQ(f.ui.Messages().size(), 1u);
    EXPECT_NE(text.find("\r\nServer: 010.000.000.009\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPassword: p w\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSMTP Authentication: YES\r\n"), std::string::npos);
}

TEST(EmailPage, ReadsVersionFourSection) {
    Fixture f;
    EmailText t;
    t.server = "10.1.2.3";
    t.from = "qor@plant.example";
    t.user = "smtp user";
    t.password = "pa ss";
    t.auth = "YES";
    t.destinations = {{50, "a@b"}, {77, "@"}, {99, std::string(43, 'z') + "@y"}};
    f.Read(t.Text());
    EXPECT_TRUE(f.ui.Messages().empty());
    EXPECT_EQ(f.page.ServerField().GetText(), "010.001.002.003");
    EXPECT_EQ(f.page.ServerAddress(), (std::array<uint8_t, 4>{10, 1, 2, 3}));
    EXPECT_EQ(f.page.SenderField().GetText(), "qor@plant.example");
    EXPECT_EQ(f.page.UsernameField().GetText(), "smtp user");
    EXPECT_EQ(f.page.PasswordField().GetText(), "pa ss");
    EXPECT_TRUE(f.page.AuthCheck().IsChecked());
    EXPECT_EQ(f.page.AuthFlag(), 1);
    EXPECT_EQ(f.Dest(50), "a@b");
    EXPECT_EQ(f.Dest(77), "@");
    EXPECT_EQ(f.Dest(99), std::string(43, 'z') + "@y");
    EXPECT_TRUE(f.grid.IsModified(1, 2));
    EXPECT_TRUE(f.grid.IsModified(2, 2));  // read as empty: still marked
    // Reading does not enable the login: that follows the series.
    EXPECT_FALSE(f.page.AuthCheck().IsEnabled());

    t.auth = "NO";
    f.Read(t.Text());
    EXPECT_FALSE(f.page.AuthCheck().IsChecked());
    t.auth = "yes";  // not exactly YES or NO: unchanged
    f.page.AuthCheck().SetCheck(true);
    f.Read(t.Text());
    EXPECT_TRUE(f.page.AuthCheck().IsChecked());
}

TEST(EmailPage, OlderSectionsHaveNoLoginLines) {
    for (int version : {1, 2, 3}) {
        Fixture f;
        f.page.SeriesChanged(2);
        f.page.UsernameField().SetText("user");
        f.page.AuthCheck().Click();
        EmailText t;
        t.login = false;
        t.from = "old@site";
        t.destinations = {{60, "ten@x"}};
        f.Read(t.Text(), version);
        EXPECT_EQ(f.page.SenderField().GetText(), "old@site");
        EXPECT_EQ(f.Dest(60), "ten@x");
        EXPECT_EQ(f.page.UsernameField().GetText(), "");
        EXPECT_EQ(f.page.PasswordField().GetText(), "");
        EXPECT_FALSE(f.page.AuthCheck().IsChecked());
        EXPECT_EQ(f.page.AuthFlag(), 0);
        EXPECT_FALSE(f.page.AuthCheck().IsEnabled());
        EXPECT_FALSE(f.page.UsernameField().IsEnabled());
        EXPECT_FALSE(f.page.PasswordField().IsEnabled());
    }
}

TEST(EmailPage, ReadAbortsWithTheMessageOfEachFault) {
    struct Case {
        EmailText text;
        std::string error;
        std::vector<std::string> messages;
    };
    const std::string inError = "Text file load ABORTED!\nDefault values loaded.\n";
    std::vector<Case> cases;
    {
        EmailText t;
        t.destinations = {{57, "a b@c"}};
        cases.push_back(
            {t, inError + "\"Address57: \" parameter in error.", {"Spaces not allowed."}});
    }
    {
        EmailText t;
        t.destinations = {{51, "nobody"}};
        cases.push_back(
            {t, inError + "\"Address51: \" parameter in error.", {"\"@\" symbol IS required."}});
    }
    {
        EmailText t;
        t.destinations = {{99, std::string(44, 'x') + "@y"}};
        cases.push_back({t,
                         inError + "\"Address99: \" parameter in error.",
                         {"Length cannot exceed 45 characters."}});
    }
    {
        EmailText t;
        t.from = "sender.example.com";
        cases.push_back(
            {t, inError + "[EMail] parameters in error.", {"\"@\" symbol IS required."}});
    }
    {
        EmailText t;
        t.from = "";
        cases.push_back({t,
                         inError + "[EMail] parameters in error.",
                         {"A value such as \"QOR0.0.0.0@example.com\" IS required."}});
    }
    {
        EmailText t;
        t.server = "127.0.0.1";
        cases.push_back(
            {t,
             inError + "[EMail] parameters in error.",
             {"127 and greater than 223 are reserved values for the first IP address "
              "octet.\nPlease specify another value between 0 and 223 for this field."}});
    }
    {
        EmailText t;
        t.server = "10.1.2.x";
        cases.push_back({t, inError + "\"Server: \" parameter in error.", {}});
    }
    for (const Case& c : cases) {
        Fixture f;
        f.ui.AllowMessages();
        EXPECT_EQ(f.ReadError(c.text.Text()), c.error) << c.text.Text();
        EXPECT_EQ(f.ui.MessageTexts(), c.messages);
    }
}

// Saved, the text would end at the NUL and lose its '@': it is refused as that text.
TEST(EmailPage, ADestinationIsCheckedAsItWillBeSaved) {
    EmailText t;
    t.destinations = {{53, std::string("ope\x01\0x@plant.example", 20)}};
    Fixture f;
    f.ui.AllowMessages();
    EXPECT_EQ(
        f.ReadError(t.Text()),
        "Text file load ABORTED!\nDefault values loaded.\n\"Address53: \" parameter in error.");
    EXPECT_EQ(f.ui.MessageTexts().size(), 1u);
}

TEST(EmailPage, ReadAbortsAtTheFirstMissingLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"\r\n[Email]\r\n", "Text file load ABORTED!\nFailed to locate \"[EMail]\" section."},
        {"\r\n[EMail]\r\nServer: 000.000.000.000\r\nTo: x\r\n",
         "Text file load ABORTED!\nFailed to locate \"From: \" parameter."},
        {"\r\n[EMail]\r\nServer: 000.000.000.000\r\nFrom: a@b\r\nPassword: \r\n",
         "Text file load ABORTED!\nFailed to locate \"Username: \" parameter."},
    };
    for (const auto& [text, error] : cases) {
        Fixture f;
        EXPECT_EQ(f.ReadError(text), error);
    }
    // A version 4 file read as version 3 meets Username where Address50 is due.
    Fixture f;
    EXPECT_EQ(f.ReadError(EmailText{}.Text(), 3),
              "Text file load ABORTED!\nFailed to locate \"Address50: \" parameter.");
}

namespace {

// The bytes of an archive string as the .dcf file holds it (short texts only).
std::string Str(const std::string& s) {
    return std::string(1, static_cast<char>(s.size())) + s;
}

}  // namespace

TEST(EmailPage, DcfRecordLayout) {
    Fixture f;
    f.page.SeriesChanged(2);
    f.page.ServerField().SetText("192.168.001.010");
    f.page.AuthCheck().Click();
    f.page.UsernameField().SetText("u");
    f.page.PasswordField().SetText("pw");
    f.page.SenderField().SetText("s@t");
    Edit(f.grid, 50, "z@z");
    auto out = CDcfArchive::ForStoring();
    f.page.ExchangeDcf(out);
    std::string expected = std::string("\xC0\xA8\x01\x0A", 4) + std::string("\x01\0\0\0", 4) +
                           Str("u") + Str("pw") + Str("s@t");
    for (int r = 1; r < 50; ++r)
        expected += Str("");
    expected += Str("z@z");
    EXPECT_EQ(out.Bytes(), expected);
}

TEST(EmailPage, DcfLoadByVersion) {
    // Version 4: the whole record.
    {
        Fixture f;
        f.dlg.DcfVersion() = 4;
        std::string bytes = std::string("\x0A\x00\x00\x02", 4) + std::string("\x01\0\0\0", 4) +
                            Str("user") + Str("pass") + Str("tank@plant");
        for (int r = 1; r <= 50; ++r)
            bytes += Str(r == 3 ? "ops@plant" : "");
        auto in = CDcfArchive::ForLoading(bytes);
        f.page.ExchangeDcf(in);
        EXPECT_EQ(f.page.ServerField().GetText(), "010.000.000.002");
        EXPECT_TRUE(f.page.AuthCheck().IsChecked());
        EXPECT_EQ(f.page.AuthFlag(), 1);
        EXPECT_EQ(f.page.UsernameField().GetText(), "user");
        EXPECT_EQ(f.page.PasswordField().GetText(), "pass");
        EXPECT_EQ(f.page.SenderField().GetText(), "tank@plant");
        EXPECT_EQ(f.Dest(52), "ops@plant");
        EXPECT_FALSE(f.grid.IsModified(3, 2));
        EXPECT_TRUE(f.ui.Messages().empty());
        EXPECT_FALSE(f.page.AuthCheck().IsEnabled());  // the series decides
    }
    // Versions 1 to 3: no login in the record; the page's own login stays.
    for (int version : {1, 2, 3}) {
        Fixture f;
        f.page.SeriesChanged(2);
        f.page.UsernameField().SetText("kept");
        f.page.AuthCheck().Click();
        f.dlg.DcfVersion() = version;
        std::string bytes = std::string("\x0A\x00\x00\x03", 4) + Str("old@x");
        for (int r = 1; r <= 50; ++r)
            bytes += Str(r == 50 ? "end@x" : "");
        auto in = CDcfArchive::ForLoading(bytes);
        f.page.ExchangeDcf(in);
        EXPECT_EQ(f.page.ServerField().GetText(), "010.000.000.003");
        EXPECT_EQ(f.page.SenderField().GetText(), "old@x");
        EXPECT_EQ(f.Dest(99), "end@x");
        EXPECT_EQ(f.page.UsernameField().GetText(), "kept");
        EXPECT_TRUE(f.page.AuthCheck().IsChecked());
    }
}

// A record holding what its text file could not carry back (a line break, a NUL, a sender the
// text load refuses) makes the .dcf malformed: the check's message, and the page keeps all it
// showed. A TAB breaks neither file.
TEST(EmailPage, DcfRecordTheTextFileCannotCarryIsRefusedWhole) {
    auto record = [](const std::string& user, const std::string& sender, const std::string& dest) {
        std::string bytes = std::string("\x0A\x00\x00\x02", 4) + std::string("\x01\0\0\0", 4) +
                            Str(user) + Str("pw") + Str(sender);
        for (int r = 1; r <= 50; ++r)
            bytes += Str(r == 50 ? dest : "");
        return CDcfArchive::ForLoading(bytes);
    };
    const struct {
        std::string user, sender, dest;
    } refused[] = {
        {"a\rb", "s@x", ""},     {std::string("a\0b", 3), "s@x", ""},
        {"u", "s@x\nTo: y", ""}, {"u", "s@x", "d@x\r\n"},
        {"u", "no at sign", ""},
    };
    for (const auto& c : refused) {
        Fixture f;
        f.dlg.DcfVersion() = 4;
        auto in = record(c.user, c.sender, c.dest);
        f.ui.ExpectMessage();
        EXPECT_THROW(f.page.ExchangeDcf(in), CDcfArchive::Failure);
        EXPECT_EQ(f.ui.Messages().size(), 1u);
        EXPECT_EQ(f.page.ServerField().GetText(), "000.000.000.000");
        EXPECT_EQ(f.page.UsernameField().GetText(), "");
        EXPECT_EQ(f.page.SenderField().GetText(), CEmailPage::kDefaultSender);
        EXPECT_EQ(f.Dest(99), "");
    }
    Fixture f;
    f.dlg.DcfVersion() = 4;
    auto in = record("first\tlast", "s@x", "d\t@x");
    f.page.ExchangeDcf(in);
    EXPECT_EQ(f.page.UsernameField().GetText(), "first\tlast");
    EXPECT_EQ(f.Dest(99), "d\t@x");
    EXPECT_TRUE(f.ui.Messages().empty());
}

namespace {

struct FileFixture : Fixture {
    // Every field of the routing and e-mail pages away from its default.
    void ChangeEverything() {
        CGridCtrl& routes = dlg.RoutingPage().Grid();
        for (int r = 1; r <= 50; ++r) {
            char address[16];
            std::snprintf(address, sizeof address, "010.%03d.000.%03d", r, 200 + r);
            routes.SetCellText(r, 2, address);
            grid.SetCellText(r, 2, "dest" + std::to_string(r) + "@site.example");
        }
        page.SeriesChanged(2);
        page.ServerField().SetText("192.168.010.254");
        page.SenderField().SetText("module7@plant.example");
        page.UsernameField().SetText("mail user");
        page.PasswordField().SetText("s3cr*t pw");
        page.AuthCheck().Click();
    }
    void ExpectEverythingChanged() {
        for (int r = 1; r <= 50; ++r) {
            char address[16];
            std::snprintf(address, sizeof address, "010.%03d.000.%03d", r, 200 + r);
            EXPECT_EQ(dlg.RoutingPage().Route(r - 1), address);
            EXPECT_EQ(grid.GetCellText(r, 2), "dest" + std::to_string(r) + "@site.example");
        }
        EXPECT_EQ(page.ServerField().GetText(), "192.168.010.254");
        EXPECT_EQ(page.SenderField().GetText(), "module7@plant.example");
        EXPECT_EQ(page.UsernameField().GetText(), "mail user");
        EXPECT_EQ(page.PasswordField().GetText(), "s3cr*t pw");
        EXPECT_TRUE(page.AuthCheck().IsChecked());
        EXPECT_EQ(page.AuthFlag(), 1);
        EXPECT_EQ(dlg.Doc().GET(180), "192.168.010.254");
        EXPECT_EQ(dlg.Doc().GET(179), "1");
        EXPECT_EQ(dlg.Doc().GET(99), "dest50@site.example");
        EXPECT_EQ(dlg.Doc().GET(0), "010.001.000.201");
    }
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(EmailPageFiles, DefaultFilesHoldTheRecordsAsWritten) {
    FileFixture f;
    const std::string text = f.SaveText("defaults.txt");
    std::string routing = "\r\n[Routing]\r\n";
    for (int d = 0; d < 50; ++d) {
        char line[40];
        std::snprintf(line, sizeof line, "Route%02d: 000.000.000.000\r\n", d);
        routing += line;
    }
    std::string email =
        "\r\n[EMail]\r\n"
        "Server: 000.000.000.000\r\n"
        "From: QOR0.0.0.0@example.com\r\n"
        "Username: \r\n"
        "Password: \r\n"
        "SMTP Authentication: NO\r\n";
    for (int d = 50; d < 100; ++d)
        email += "Address" + std::to_string(d) + ": \r\n";
    // The routing section comes straight before the e-mail section.
    EXPECT_NE(text.find(routing + email), std::string::npos);

    const std::string dcf = f.SaveDcf("defaults.dcf");
    std::string routeRecord;
    for (int d = 0; d < 50; ++d)
        routeRecord +=
            "\x0f"
            "000.000.000.000";
    std::string emailRecord = std::string(4 + 4 + 1 + 1, '\0') +
                              "\x16"
                              "QOR0.0.0.0@example.com" +
                              std::string(50, '\0');
    EXPECT_NE(dcf.find(routeRecord + emailRecord), std::string::npos);
    EXPECT_TRUE(f.ui.Messages().empty());
}

TEST(EmailPageFiles, TextRoundTripOfEveryField) {
    FileFixture f;
    f.ChangeEverything();
    const std::string saved = f.SaveText("changed.txt");
    f.dlg.OnDefaults();
    EXPECT_EQ(f.page.SenderField().GetText(), kDefaultSender);
    f.LoadText(f.dir.File("changed.txt"));
    EXPECT_TRUE(f.ui.Messages().empty());
    EXPECT_EQ(f.dlg.StatusField().Text(), "File Values");
    f.ExpectEverythingChanged();
    EXPECT_FALSE(f.AnyPageDiffers());
    EXPECT_EQ(f.SaveText("again.txt"), saved);
}

TEST(EmailPageFiles, DcfRoundTripOfEveryField) {
    FileFixture f;
    f.ChangeEverything();
    const std::string saved = f.SaveDcf("changed.dcf");
    EXPECT_FALSE(saved.empty());
    f.dlg.OnDefaults();
    f.LoadDcf(f.dir.File("changed.dcf"));
    EXPECT_TRUE(f.ui.Messages().empty());
    EXPECT_EQ(f.dlg.StatusField().Text(), "File Values");
    f.ExpectEverythingChanged();
    EXPECT_FALSE(f.AnyPageDiffers());
    EXPECT_EQ(f.SaveDcf("again.dcf"), saved);
}

TEST(EmailPageFiles, TextLoadAbortRestoresEveryPageToItsDefaults) {
    struct Case {
        std::string from, to;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"Address63: ",
         "Address63: x y@z",
         {"Spaces not allowed.",
          "Text file load ABORTED!\nDefault values loaded.\n\"Address63: \" parameter in error."}},
        {"From: QOR0.0.0.0@example.com",
         "From: QOR0.0.0.0.example.com",
         {"\"@\" symbol IS required.",
          "Text file load ABORTED!\nDefault values loaded.\n[EMail] parameters in error."}},
        {"\r\n[EMail]\r\n",
         "\r\n[E-Mail]\r\n",
         {"Text file load ABORTED!\nFailed to locate \"[EMail]\" section."}},
    };
    for (const Case& c : cases) {
        FileFixture f;
        const std::string defaults = f.SaveText("defaults.txt");
        std::string text = Replace(defaults, c.from, c.to);
        text = Replace(text, "Address50: ", "Address50: first@x");
        text = Replace(text, "Route00: 000.000.000.000", "Route00: 10.0.0.1");
        f.ui.AllowMessages();
        f.LoadText(f.dir.Write("bad.txt", text));
        EXPECT_EQ(f.ui.MessageTexts(), c.messages);
        f.ui.AllowMessages(false);
        f.ui.ClearMessages();
        EXPECT_EQ(f.dlg.StatusField().Text(), "Default Values");
        EXPECT_EQ(f.page.SenderField().GetText(), kDefaultSender);
        EXPECT_EQ(f.Dest(50), "");
        EXPECT_EQ(f.dlg.RoutingPage().Route(0), "000.000.000.000");
        EXPECT_FALSE(f.AnyPageDiffers());
        EXPECT_EQ(f.SaveText("after.txt"), defaults);
    }
}

TEST(EmailPageFiles, FileSaveWithAnInvalidServerBringsTheEmailPageToTheFront) {
    FileFixture f;
    f.page.ServerField().SetText("010.000.000.255");
    f.ui.ExpectMessage();
    f.dlg.OnFileSave();  // no save dialog is answered: none may open
    EXPECT_EQ(f.ui.LastMessage(),
              "255 is a reserved value for the IP address fourth octet.\nPlease specify another "
              "value between 0 and 254 for this field.");
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), CUtilityDlg::kEmailPage);
    EXPECT_TRUE(f.ui.saveFilters.empty());
}

namespace {

using Bytes = std::vector<uint8_t>;

// A text in the module's 84-byte form: the count, then the characters pairwise swapped.
Bytes Counted(const std::string& text) {
    Bytes form(84, 0);
    form[0] = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        form[2 + (i ^ 1)] = static_cast<uint8_t>(text[i]);
    return form;
}

Bytes Address(int a, int b, int c, int d) {
    return {static_cast<uint8_t>(a), 0, static_cast<uint8_t>(b), 0,
            static_cast<uint8_t>(c), 0, static_cast<uint8_t>(d), 0};
}

}  // namespace

// Both pages against the simulated module: what it holds comes up into the pages, and what
// the pages are given goes down into its RAM and, with "QOR R&OM", into its ROM.
TEST(EmailAndRoutingDevice, UploadThenDownloadToRamAndRom) {
    SimOptions o;
    o.restartSilenceMs = 50;
    SimModule sim(o);
    ASSERT_TRUE(sim.Start());
    setenv("QORW_COM15", sim.SlavePath().c_str(), 1);
    for (int d = 0; d < 50; ++d)
        sim.SetRam(100 + d, Address(10, 0, d, 1));
    for (int d = 50; d < 100; ++d)
        sim.SetRam(d + 100, Counted("to" + std::to_string(d) + "@x"));
    sim.SetRam(0xF2, Counted("user"));
    sim.SetRam(0xF3, Counted("pass"));
    sim.SetRam(0xF4, {1, 0});
    sim.SetRam(0xF9, Counted("from@module"));
    sim.SetRam(0xFB, Address(192, 168, 1, 25));

    SerialChannel channel;
    ScriptedUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Doc().AttachChannel(channel);
    dlg.Start();
    dlg.Link().comPort = 15;
    dlg.Link().pcBaudIndex = 0;
    CRoutingPage& routing = dlg.RoutingPage();
    CEmailPage& email = dlg.EmailPage();

    dlg.OnQor();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    EXPECT_EQ(routing.Route(0), "010.000.000.001");
    EXPECT_EQ(routing.Route(49), "010.000.049.001");
    EXPECT_EQ(email.Destination(50), "to50@x");
    EXPECT_EQ(email.Destination(99), "to99@x");
    EXPECT_EQ(email.UsernameField().GetText(), "user");
    EXPECT_EQ(email.PasswordField().GetText(), "pass");
    EXPECT_TRUE(email.AuthCheck().IsChecked());
    EXPECT_EQ(email.SenderField().GetText(), "from@module");
    EXPECT_EQ(email.ServerField().GetText(), "192.168.001.025");
    EXPECT_EQ(email.ServerAddress(), (std::array<uint8_t, 4>{192, 168, 1, 25}));

    routing.Grid().SetCellText(8, 2, "172.016.000.009");
    email.Grid().SetCellText(20, 2, "new@dest");
    email.UsernameField().SetText("smtp");
    email.SeriesChanged(2);
    email.AuthCheck().Click();  // off
    email.SenderField().SetText("qor7@plant");
    email.ServerField().SetText("010.020.030.040");
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    sim.ClearRequests();
    dlg.OnRam();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    std::set<int> written;
    for (const auto& r : sim.Requests())
        if (r.command != 0x01 && ((r.key >= 100 && r.key <= 199) || r.key == 0xF2 ||
                                  r.key == 0xF3 || r.key == 0xF4 || r.key == 0xF9 || r.key == 0xFB))
            written.insert(r.key);
    // Of these pages' keys only what changed since the upload goes down.
    EXPECT_EQ(written, (std::set<int>{107, 169, 0xF2, 0xF4, 0xF9, 0xFB}));
    EXPECT_EQ(sim.Ram(107), Address(172, 16, 0, 9));
    EXPECT_EQ(sim.Ram(169), Counted("new@dest"));
    EXPECT_EQ(sim.Ram(0xF2), Counted("smtp"));
    EXPECT_EQ(sim.Ram(0xF4), (Bytes{0, 0}));
    EXPECT_EQ(sim.Ram(0xF9), Counted("qor7@plant"));
    EXPECT_EQ(sim.Ram(0xFB), Address(10, 20, 30, 40));
    EXPECT_EQ(sim.Rom(0xF9), Counted("qor@example.com"));

    dlg.OnRom();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(sim.Stats().lastResetKind, 0);
    EXPECT_EQ(sim.Rom(107), Address(172, 16, 0, 9));
    EXPECT_EQ(sim.Rom(169), Counted("new@dest"));
    EXPECT_EQ(sim.Rom(0xF9), Counted("qor7@plant"));
    EXPECT_EQ(sim.Rom(0xFB), Address(10, 20, 30, 40));
    // The ROM download ends with a fresh upload: the pages show what the module now holds.
    EXPECT_EQ(routing.Route(7), "172.016.000.009");
    EXPECT_EQ(email.SenderField().GetText(), "qor7@plant");
    EXPECT_FALSE(email.DiffersFromDocument(dlg.Doc()));
    channel.Close();
    sim.Stop();
}
