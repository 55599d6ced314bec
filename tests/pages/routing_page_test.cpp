#include "pages/routing_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "model/params.h"
#include "qorsim/sim_module.h"
#include "support/started_window.h"

namespace {

struct Fixture : StartedWindow {
    CRoutingPage& page = dlg.RoutingPage();
    CGridCtrl& grid = page.Grid();

    std::string Section() {
        CTextOutFile out;
        page.WriteSection(out, dlg.Doc());
        return out.Text();
    }
    // Reads the page's section from a file holding text.
    void Read(const std::string& text) {
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(dir.Write("routing.txt", text)));
        page.ReadSection(reader);
    }
    // What the read threw; empty when it did not.
    std::string ReadError(const std::string& text) {
        try {
            Read(text);
        } catch (const ZUVException& e) {
            return e.Message();
        }
        return {};
    }
};

std::string Crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

// The section with every route at value, except those given.
std::string RoutingText(const std::vector<std::pair<int, std::string>>& changes = {},
                        int skip = -1) {
    std::vector<std::string> lines = {"", "[Routing]"};
    for (int d = 0; d < 50; ++d) {
        if (d == skip) continue;
        std::string value = "000.000.000.000";
        for (const auto& [id, v] : changes)
            if (id == d) value = v;
        char key[16];
        std::snprintf(key, sizeof key, "Route%02d: ", d);
        lines.push_back(key + value);
    }
    return Crlf(lines);
}

// Ends an in-place edit of the address cell of row with text typed in.
void Edit(CGridCtrl& grid, int row, const std::string& text) {
    EditCell(grid, row, 2, text, kKeyStart);
}

}  // namespace

TEST(RoutingPage, StartsWithNumberedDestinationsAndZeroAddresses) {
    Fixture f;
    EXPECT_EQ(f.grid.GetRowCount(), 51);
    EXPECT_EQ(f.grid.GetColumnCount(), 3);
    EXPECT_EQ(f.grid.GetFixedRowCount(), 1);
    EXPECT_EQ(f.grid.GetFixedColumnCount(), 2);
    EXPECT_EQ(f.grid.GetCellText(0, 0), "Destn");
    EXPECT_EQ(f.grid.GetCellText(0, 1), "Config");
    EXPECT_EQ(f.grid.GetCellText(0, 2), "IP Address");
    for (int r = 1; r <= 50; ++r) {
        EXPECT_EQ(f.grid.GetCellText(r, 0), std::to_string(r - 1));
        EXPECT_EQ(f.grid.GetCellText(r, 1), std::to_string(r + 99));
        EXPECT_EQ(f.grid.GetCellText(r, 2), "000.000.000.000");
        EXPECT_TRUE(f.grid.GetCell(r, 2)->IsKindOf(CGridCellIPAddr::kClass));
        EXPECT_EQ(f.dlg.Doc().GET(r - 1), "000.000.000.000");
    }
    for (int r = 0; r <= 50; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(f.grid.GetCellFormat(r, c), CellFormat::kCenter | CellFormat::kVCenter |
                                                      CellFormat::kSingleLine |
                                                      CellFormat::kEndEllipsis);
    EXPECT_TRUE(f.grid.IsEditable());
    EXPECT_TRUE(f.grid.IsDragAndDrop());
    EXPECT_FALSE(f.grid.IsListMode());
    EXPECT_FALSE(f.grid.IsSingleRowSelection());
    EXPECT_FALSE(f.grid.IsHeaderSort());
    EXPECT_TRUE(f.grid.IsCellSelection());
    EXPECT_FALSE(f.grid.IsRowResize());
    EXPECT_FALSE(f.grid.IsColumnResize());
    EXPECT_FALSE(f.grid.IsCellEditable(0, 2));
    EXPECT_FALSE(f.grid.IsCellEditable(5, 1));
    EXPECT_TRUE(f.grid.IsCellEditable(5, 2));
    EXPECT_FALSE(f.page.DiffersFromDocument(f.dlg.Doc()));
    EXPECT_EQ(f.dlg.StatusField().Text(), "Default Values");
}

TEST(RoutingPage, DocumentTransfersUseIdentifiersZeroToFortyNine) {
    Fixture f;
    QorDoc& doc = f.dlg.Doc();
    doc.ClearQueue();
    f.page.QueueParameters(doc);
    ASSERT_EQ(doc.QueueCount(), 50u);
    for (int d = 0; d < 50; ++d)
        EXPECT_EQ(doc.TakeNext(), 100 + d);

    for (int d = 0; d < 50; ++d)
        doc.SET(d, "010.000.000." + std::string(d < 10 ? "00" : "0") + std::to_string(d));
    f.page.LoadFromDocument(doc);
    EXPECT_EQ(f.page.Route(7), "010.000.000.007");
    EXPECT_EQ(f.page.Route(49), "010.000.000.049");
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));
    EXPECT_FALSE(f.grid.IsModified(8, 2));

    doc.SET(49, "010.000.000.001");
    EXPECT_TRUE(f.page.DiffersFromDocument(doc));
    doc.ClearQueue();
    f.page.StoreToDocument(doc, true);
    EXPECT_EQ(doc.GET(49), "010.000.000.049");
    EXPECT_EQ(doc.QueueCount(), 50u);
    EXPECT_FALSE(f.page.DiffersFromDocument(doc));
}

TEST(RoutingPage, AnAcceptedEditShowsModifiedAndARefusedOneKeepsTheAddress) {
    Fixture f;
    Edit(f.grid, 4, "192.168.001.020");
    EXPECT_EQ(f.page.Route(3), "192.168.001.020");
    EXPECT_TRUE(f.grid.IsModified(4, 2));
    EXPECT_TRUE(f.page.DiffersFromDocument(f.dlg.Doc()));
    EXPECT_EQ(f.dlg.StatusField().Text(), "Modified");

    f.ui.ExpectMessage();
    Edit(f.grid, 5, "10.0.0.1");
    EXPECT_EQ(f.ui.LastMessage(),
              "Please enter 3 digit characters per octet.\nRange of possible correct values are "
              "000 thru 255.");
    EXPECT_EQ(f.page.Route(4), "000.000.000.000");
    EXPECT_FALSE(f.grid.IsModified(5, 2));

    f.ui.ExpectMessage();
    f.grid.SetFocusCell(6, 2);
    f.grid.DeleteFocused();
    EXPECT_EQ(f.ui.LastMessage(), "Missing value in IP address.");
    EXPECT_EQ(f.page.Route(5), "000.000.000.000");

    // Edited back to the document's value, the status shows where the values came from.
    Edit(f.grid, 4, "000.000.000.000");
    EXPECT_EQ(f.dlg.StatusField().Text(), "Default Values");
}

TEST(RoutingPage, DefaultSectionIsFiftyTwoLines) {
    Fixture f;
    std::string expected = "\r\n[Routing]\r\n";
    for (int d = 0; d < 50; ++d) {
        char line[40];
        std::snprintf(line, sizeof line, "Route%02d: 000.000.000.000\r\n", d);
        expected += line;
    }
    const std::string text = f.Section();
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.substr(0, 39), "\r\n[Routing]\r\nRoute00: 000.000.000.000\r\n");
    EXPECT_EQ(text.substr(text.size() - 26), "Route49: 000.000.000.000\r\n");
}

TEST(RoutingPage, ReadingRegroupsChecksAndMarksEveryRoute) {
    Fixture f;
    f.Read(RoutingText({{3, "192.168.1.20"}, {7, "010.000.000.001"}, {49, "10.1.2.3"}}));
    EXPECT_EQ(f.page.Route(3), "192.168.001.020");
    EXPECT_EQ(f.page.Route(7), "010.000.000.001");
    EXPECT_EQ(f.page.Route(49), "010.001.002.003");
    EXPECT_TRUE(f.grid.IsModified(4, 2));
    EXPECT_TRUE(f.grid.IsModified(1, 2));  // read, even though unchanged
    EXPECT_TRUE(f.ui.Messages().empty());
}

TEST(RoutingPage, ReadingAcceptsEmptyLinesAndOtherSectionsAround) {
    Fixture f;
    std::string text = "[QorConfiguration]\nVersion: 4\n\n[Other]\nRoute05: 1.1.1.1\n" +
                       RoutingText({{5, "10.0.0.5"}});
    text.insert(text.find("Route06"), "\r\n\r\n");
    f.Read(text);
    EXPECT_EQ(f.page.Route(5), "010.000.000.005");
}

TEST(RoutingPage, ReadAbortsWithTheMessageOfEachFault) {
    struct Case {
        std::string text;
        std::string error;
        std::vector<std::string> cellMessages;
    };
    const std::string inError = "Text file load ABORTED!\nDefault values loaded.\n";
    const Case cases[] = {
        {"\r\n[Routing] \r\nRoute00: 000.000.000.000\r\n",
         "Text file load ABORTED!\nFailed to locate \"[Routing]\" section.",
         {}},
        {RoutingText({}, 10),
         "Text file load ABORTED!\nFailed to locate \"Route10: \" parameter.",
         {}},
        {RoutingText({{7, "300.0.0.1"}}),
         inError + "\"Route07: \" parameter in error.",
         {"300 is not a valid entry.\nPlease specify a value between 0 and 255 for this field."}},
        // No regrouping is defined for a part of four digits: the check names the fault.
        {RoutingText({{8, "1.2.3.4567"}}),
         inError + "\"Route08: \" parameter in error.",
         {"Please enter 3 digit characters per octet.\nRange of possible correct values are 000 "
          "thru 255."}},
        {RoutingText({{9, ""}}),
         inError + "\"Route09: \" parameter in error.",
         {"Missing value in IP address."}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.ui.AllowMessages();
        EXPECT_EQ(f.ReadError(c.text), c.error);
        EXPECT_EQ(f.ui.MessageTexts(), c.cellMessages);
        for (const auto& m : f.ui.Messages()) {
            EXPECT_EQ(m.icon, UiHost::Icon::Exclamation);
            EXPECT_EQ(m.caption, UiHost::kProgramName);
        }
    }
}

TEST(RoutingPage, ValuesBeforeTheFailingLineAreAlreadyInTheGrid) {
    Fixture f;
    std::vector<std::pair<int, std::string>> changes;
    for (int d = 0; d < 10; ++d)
        changes.push_back({d, "10.0.0." + std::to_string(d + 1)});
    EXPECT_NE(f.ReadError(RoutingText(changes, 10)), "");
    EXPECT_EQ(f.page.Route(0), "010.000.000.001");
    EXPECT_EQ(f.page.Route(9), "010.000.000.010");
    EXPECT_EQ(f.page.Route(10), "000.000.000.000");
}

TEST(RoutingPage, DcfRecordIsFiftyStringsInRowOrder) {
    Fixture f;
    Edit(f.grid, 1, "010.000.000.001");
    Edit(f.grid, 50, "192.168.001.010");
    auto out = CDcfArchive::ForStoring();
    f.page.ExchangeDcf(out);
    std::string expected;
    for (int d = 0; d < 50; ++d) {
        const char* text = d == 0    ? "010.000.000.001"
                           : d == 49 ? "192.168.001.010"
                                     : "000.000.000.000";
        expected += '\x0f' + std::string(text);
    }
    EXPECT_EQ(out.Bytes(), expected);
}

// A route is kept as the module keeps it, host rules or not, from either file; only a text that
// is no four groups of three digits up to 255 makes a .dcf malformed, with no cell message,
// keeping the routes read before it.
TEST(RoutingPage, DcfAndTextLoadKeepRoutesAsTheModuleHoldsThem) {
    auto archive = [](const std::string& route) {
        auto out = CDcfArchive::ForStoring();
        out.WriteText("10.0.0.9");
        for (int d = 1; d < 50; ++d)
            out.WriteText(d == 1 ? route : "000.000.000.000");
        return CDcfArchive::ForLoading(out.Bytes());
    };
    const std::pair<std::string, std::string> kept[] = {
        {"10.1.2.3", "010.001.002.003"},
        {"127.000.000.001", "127.000.000.001"},
        {"255.255.255.255", "255.255.255.255"},
        {"192.168.1.255", "192.168.001.255"},
    };
    for (const auto& [route, stored] : kept) {
        SCOPED_TRACE(route);
        Fixture f;
        auto in = archive(route);
        f.page.ExchangeDcf(in);
        EXPECT_EQ(f.page.Route(1), stored);
        Fixture t;
        t.Read(RoutingText({{1, route}}));
        EXPECT_EQ(t.page.Route(1), stored);
        EXPECT_TRUE(f.ui.Messages().empty());
        EXPECT_TRUE(t.ui.Messages().empty());
    }
    for (const char* route :
         {"1.2.3.4567", "1234.1.1.1", "1..2.3", "256.000.000.001", "abc.def.ghi.jkl", ""}) {
        SCOPED_TRACE(route);
        Fixture f;
        auto in = archive(route);
        EXPECT_THROW(f.page.ExchangeDcf(in), CDcfArchive::Failure);
        EXPECT_TRUE(f.ui.Messages().empty());
        EXPECT_EQ(f.page.Route(0), "010.000.000.009");
        EXPECT_EQ(f.page.Route(1), "000.000.000.000");
    }
}

TEST(RoutingPage, DcfLoadCutShortKeepsTheRoutesRead) {
    Fixture f;
    auto out = CDcfArchive::ForStoring();
    out.WriteText("10.0.0.1");
    out.WriteText("10.0.0.2");
    auto in = CDcfArchive::ForLoading(out.Bytes());
    EXPECT_THROW(f.page.ExchangeDcf(in), CDcfArchive::Failure);
    EXPECT_EQ(f.page.Route(0), "010.000.000.001");
    EXPECT_EQ(f.page.Route(1), "010.000.000.002");
    EXPECT_EQ(f.page.Route(2), "000.000.000.000");
}

namespace {

// The window's own commands on real files.
struct FileFixture : Fixture {};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(RoutingPageFiles, DefaultFilesHoldTheRecordAsWritten) {
    FileFixture f;
    const std::string text = f.SaveText("defaults.txt");
    EXPECT_NE(text.find(RoutingText()), std::string::npos);
    const std::string dcf = f.SaveDcf("defaults.dcf");
    std::string record;
    for (int d = 0; d < 50; ++d)
        record +=
            "\x0f"
            "000.000.000.000";
    EXPECT_NE(dcf.find(record), std::string::npos);
    EXPECT_TRUE(f.ui.Messages().empty());
}

TEST(RoutingPageFiles, TextLoadAbortRestoresEveryPageToItsDefaults) {
    struct Case {
        std::string from, to;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"Route10: 000.000.000.000\r\n",
         "",
         {"Text file load ABORTED!\nFailed to locate \"Route10: \" parameter."}},
        {"Route03: 000.000.000.000",
         "Route03: 300.0.0.1",
         {"300 is not a valid entry.\nPlease specify a value between 0 and 255 for this field.",
          "Text file load ABORTED!\nDefault values loaded.\n\"Route03: \" parameter in error."}},
    };
    for (const Case& c : cases) {
        FileFixture f;
        const std::string defaults = f.SaveText("defaults.txt");
        std::string text = Replace(defaults, c.from, c.to);
        for (int d = 0; d < 3; ++d)
            text = Replace(text, "Route0" + std::to_string(d) + ": 000.000.000.000",
                           "Route0" + std::to_string(d) + ": 10.0.0.9");
        f.page.Grid().SetCellText(20, 2, "010.000.000.020");
        f.ui.AllowMessages();
        f.LoadText(f.dir.Write("bad.txt", text));
        EXPECT_EQ(f.ui.MessageTexts(), c.messages);
        EXPECT_EQ(f.ui.Messages().back().icon, UiHost::Icon::None);
        f.ui.AllowMessages(false);
        f.ui.ClearMessages();
        EXPECT_EQ(f.dlg.StatusField().Text(), "Default Values");
        EXPECT_EQ(f.page.Route(0), "000.000.000.000");
        EXPECT_EQ(f.page.Route(19), "000.000.000.000");
        EXPECT_FALSE(f.AnyPageDiffers());
        EXPECT_EQ(f.SaveText("after.txt"), defaults);
    }
}

TEST(RoutingPageFiles, EditThenFileSaveShowsFileValues) {
    FileFixture f;
    Edit(f.grid, 8, "010.000.000.007");
    EXPECT_EQ(f.dlg.StatusField().Text(), "Modified");
    f.SaveDcf("edited.dcf");
    EXPECT_EQ(f.dlg.StatusField().Text(), "File Values");
    EXPECT_EQ(f.dlg.Doc().GET(7), "010.000.000.007");
}

// Routes read from a module that holds addresses the typist's host rules refuse: the .dcf and the
// text file saved from them load back to the same routes, with no message.
TEST(RoutingPageFiles, RoutesUploadedFromAModuleLoadBackFromBothFiles) {
    SimOptions o;
    o.restartSilenceMs = 50;
    SimModule sim(o);
    ASSERT_TRUE(sim.Start());
    setenv("QORW_COM18", sim.SlavePath().c_str(), 1);
    const std::vector<std::string> routes = {"255.255.255.255", "192.168.001.255",
                                             "127.000.000.001", "000.000.000.007"};
    for (size_t d = 0; d < routes.size(); ++d) {
        std::vector<uint8_t> form(CIpAddrParam::kSize);
        CIpAddrParam::Encode(routes[d], form.data());
        sim.SetRam(100 + static_cast<int>(d), form);
    }
    SerialChannel channel;
    FileFixture f;
    f.dlg.Doc().AttachChannel(channel);
    f.dlg.Link().comPort = 18;
    f.dlg.Link().pcBaudIndex = 0;
    f.dlg.OnQor();
    channel.Close();
    sim.Stop();
    ASSERT_EQ(f.dlg.StatusField().Text(), "Device Values");
    for (size_t d = 0; d < routes.size(); ++d)
        ASSERT_EQ(f.page.Route(static_cast<int>(d)), routes[d]);
    const std::string dcf = f.dir.Write("module.dcf", f.SaveDcf("module.dcf"));
    const std::string text = f.dir.Write("module.txt", f.SaveText("module.txt"));
    for (bool asText : {false, true}) {
        f.dlg.OnDefaults();
        asText ? f.LoadText(text) : f.LoadDcf(dcf);
        EXPECT_EQ(f.dlg.StatusField().Text(), "File Values");
        for (size_t d = 0; d < routes.size(); ++d)
            EXPECT_EQ(f.dlg.Doc().GET(static_cast<int>(d)), routes[d]) << asText;
    }
    EXPECT_TRUE(f.ui.Messages().empty()) << f.ui.LastMessage();
}
