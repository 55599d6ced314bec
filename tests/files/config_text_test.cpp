#include "files/config_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "controls/ip_addr_edit.h"
#include "files/temp_dir.h"
#include "support/scripted_ui_host.h"

namespace {

std::vector<std::string> AllLines(CConfigTextReader& reader) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line) != 0)
        lines.push_back(line);
    EXPECT_EQ(line, "");
    return lines;
}

template <typename F>
std::string ZuvMessage(F&& f) {
    try {
        f();
    } catch (const ZUVException& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no ZUVException";
    return {};
}

class ConfigTextReaderTest : public ::testing::Test {
protected:
    CConfigTextReader& Open(const std::string& content, int chunk = CConfigTextReader::kChunkSize) {
        reader_ = std::make_unique<CConfigTextReader>(ui_, chunk);
        EXPECT_TRUE(reader_->OpenFile(dir_.Write("config.txt", content)));
        return *reader_;
    }

    TempDir dir_;
    ScriptedUiHost ui_;
    std::unique_ptr<CConfigTextReader> reader_;
};

TEST_F(ConfigTextReaderTest, LineEndsAndEmptyLines) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    } cases[] = {
        {"crlf", "a\r\nbc\r\n", {"a", "bc"}},
        {"lf only", "a\nbc\n", {"a", "bc"}},
        {"cr only", "a\rbc\r", {"a", "bc"}},
        {"lf cr", "a\n\rbc", {"a", "bc"}},
        {"empty lines", "\r\n\r\na\r\n\r\n\r\n\n\rbc\r\n\r\n", {"a", "bc"}},
        {"last line without end", "a\r\nlast", {"a", "last"}},
        {"only line ends", "\r\n\n\r\r\n", {}},
        {"empty file", "", {}},
        {"spaces are content", " \r\n\t\r\n", {" ", "\t"}},
    };
    for (const auto& c : cases) {
        // Any chunk size delivers the same lines, line ends split across chunks included.
        for (int chunk : {2048, 1, 2, 3, 5}) {
            EXPECT_EQ(AllLines(Open(c.content, chunk)), c.lines) << c.name << " chunk " << chunk;
        }
    }
}

TEST_F(ConfigTextReaderTest, LineNumbersCountWhatWasRead) {
    auto& r = Open("one\r\ntwo\nthree");
    std::string line;
    EXPECT_EQ(r.ReadLine(line), 1u);
    EXPECT_EQ(r.ReadLine(line), 2u);
    EXPECT_EQ(r.ReadLine(line), 3u);
    EXPECT_EQ(line, "three");
    EXPECT_EQ(r.ReadLine(line), 0u);
    EXPECT_EQ(r.LineNumber(), 0u);
    EXPECT_EQ(r.ReadLine(line), 0u);  // and stays at the end
}

TEST_F(ConfigTextReaderTest, LineEndSplitAcrossChunks) {
    // CR is the last byte of the first 2048-byte chunk, LF the first of the second.
    auto& r = Open("a\r\n" + std::string(2044, 'x') + "\r\nnext\r\n");
    EXPECT_EQ(AllLines(r), (std::vector<std::string>{"a", std::string(2044, 'x'), "next"}));
    auto& r2 = Open("a\r\n" + std::string(2044, 'x') + "\r\n\r\nnext");
    EXPECT_EQ(AllLines(r2), (std::vector<std::string>{"a", std::string(2044, 'x'), "next"}));
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(ConfigTextReaderTest, LongLines) {
    // 2046 characters fit the line buffer.
    auto& r = Open(std::string(2046, 'a') + "\r\nb\r\n");
    EXPECT_EQ(AllLines(r), (std::vector<std::string>{std::string(2046, 'a'), "b"}));
    EXPECT_TRUE(ui_.Messages().empty());

    // 2047 characters are cut with a warning; the line end that follows is an empty line.
    ui_.ExpectMessage();
    auto& r2 = Open("first\r\n" + std::string(2047, 'c') + "\r\nd\r\n");
    EXPECT_EQ(AllLines(r2), (std::vector<std::string>{"first", std::string(2047, 'c'), "d"}));
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_EQ(ui_.Messages()[0].text, "m_pBuffer overflow in line 2 (line length over 2048 chars)");
    EXPECT_EQ(ui_.Messages()[0].caption, "Warning !");
    EXPECT_EQ(ui_.Messages()[0].icon, UiHost::Icon::Exclamation);
    EXPECT_EQ(ui_.Messages()[0].buttons, UiHost::Buttons::Ok);

    // Longer: the remainder is the next line.
    ui_.ClearMessages();
    ui_.ExpectMessage();
    auto& r3 = Open(std::string(2047, 'e') + "rest\r\nf");
    std::string line;
    EXPECT_EQ(r3.ReadLine(line), 1u);
    EXPECT_EQ(line, std::string(2047, 'e'));
    EXPECT_EQ(r3.ReadLine(line), 2u);
    EXPECT_EQ(line, "rest");
    EXPECT_EQ(r3.ReadLine(line), 3u);
    EXPECT_EQ(line, "f");
    EXPECT_EQ(ui_.Messages().size(), 1u);

    // Two cuts in one physical line, read again by three section searches: one warning.
    ui_.ClearMessages();
    ui_.ExpectMessage();
    auto& r4 = Open("[A]\r\n" + std::string(2047 * 2 + 1, 'g') + "\r\n[B]\r\n");
    for (const char* header : {"[B]", "[A]", "[B]"})
        r4.FindSection(header);
    r4.Rewind();
    EXPECT_EQ(AllLines(r4), (std::vector<std::string>{"[A]", std::string(2047, 'g'),
                                                      std::string(2047, 'g'), "g", "[B]"}));
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_EQ(ui_.Messages()[0].text, "m_pBuffer overflow in line 2 (line length over 2048 chars)");
}

TEST_F(ConfigTextReaderTest, FindSectionSearchesFromTheStartEachTime) {
    // Far more than one chunk, so a search after the end of the file restarts cleanly.
    std::string filler;
    for (int i = 0; i < 400; ++i)
        filler += "Filler" + std::to_string(i) + ": value\r\n";
    auto& r = Open("[QorConfiguration]\r\nVersion: 4\r\n[B]\r\nKeyB: 2\r\n" + filler +
                   "[A]\r\nKeyA: 1\r\n");
    r.FindSection("[A]");
    EXPECT_EQ(r.ReadParam("KeyA: "), "1");
    r.FindSection("[B]");
    EXPECT_EQ(r.ReadParam("KeyB: "), "2");
    EXPECT_EQ(ZuvMessage([&] { r.FindSection("[C]"); }),
              "Text file load ABORTED!\nFailed to locate \"[C]\" section.");
    r.FindSection("[A]");
    EXPECT_EQ(r.ReadParam("KeyA: "), "1");
    r.FindSection("[QorConfiguration]");
    EXPECT_EQ(r.ReadVersion(), 4);
}

TEST_F(ConfigTextReaderTest, FindSectionMatchesExactly) {
    auto& r = Open("[COMMS] \r\n[comms]\r\n COMMS\r\n");
    EXPECT_EQ(ZuvMessage([&] { r.FindSection("[COMMS]"); }),
              "Text file load ABORTED!\nFailed to locate \"[COMMS]\" section.");
}

TEST_F(ConfigTextReaderTest, ReadVersion) {
    struct Case {
        const char* line;
        int version;
    } cases[] = {{"Version: 4", 4}, {"Version: 3", 3},  {"Version: 2", 2}, {"Version: 1", 1},
                 {"Version: 5", 1}, {"Version: 4 ", 1}, {"version: 4", 1}, {"[COMMS]", 1}};
    for (const auto& c : cases) {
        auto& r = Open(std::string("[QorConfiguration]\r\n") + c.line + "\r\n");
        r.FindSection("[QorConfiguration]");
        EXPECT_EQ(r.ReadVersion(), c.version) << c.line;
    }
    auto& r = Open("[QorConfiguration]\r\n");
    r.FindSection("[QorConfiguration]");
    EXPECT_EQ(r.ReadVersion(), 1);  // the end of the file
}

TEST_F(ConfigTextReaderTest, ReadParam) {
    auto& r = Open("Baud: 19200\r\nXBaud: 19200\r\nBaud: \r\nBaud:  trailing \r\nSpeed: 9600\r\n");
    EXPECT_EQ(r.ReadParam("Baud: "), "19200");
    EXPECT_EQ(r.ReadParam("Baud: "), " 19200");  // found inside, first six characters dropped
    EXPECT_EQ(r.ReadParam("Baud: "), "");
    EXPECT_EQ(r.ReadParam("Baud: "), " trailing ");
    EXPECT_EQ(ZuvMessage([&] { r.ReadParam("Baud: "); }),
              "Text file load ABORTED!\nFailed to locate \"Baud: \" parameter.");
    EXPECT_EQ(ZuvMessage([&] { r.ReadParam("Baud: "); }),
              "Text file load ABORTED!\nFailed to locate \"Baud: \" parameter.");  // at the end
}

// A value is taken as it will be saved: up to a NUL.
TEST_F(ConfigTextReaderTest, ReadParamEndsAtANul) {
    auto& r = Open(std::string("From: ope\x01\0x@plant.example\r\nTo: \0@\r\n", 36));
    EXPECT_EQ(r.ReadParam("From: "), "ope\x01");
    EXPECT_EQ(r.ReadParam("To: "), "");
}

TEST_F(ConfigTextReaderTest, ReadAddressParam) {
    struct Case {
        const char* value;
        const char* shown;  // null: a parameter in error
    } cases[] = {
        {"10.1.2.3", "010.001.002.003"},
        {"010.001.002.003", "010.001.002.003"},
        {"192.168.1.10", "192.168.001.010"},
        {"1234.1.2.3", nullptr},  // a long group is not cut to three digits
        {"255.255.255.255", "255.255.255.255"},
        {"10.1.2.x", nullptr},
        {"10.1.2._", nullptr},  // the field's prompt character is no digit
        {"123456789012345", nullptr},
        {"1.2.3.4........", nullptr},
        {"10.1.2", nullptr},
        {"10", nullptr},
        {"", nullptr},
        {".1.2.3", nullptr},
        {"1.2.3.4.5", nullptr},
        {" 10.1.2.3", nullptr},  // values are not trimmed
    };
    for (const auto& c : cases) {
        CIPAddrEdit field(ui_);
        auto& r = Open(std::string("IPAddress: ") + c.value + "\r\n");
        if (c.shown) {
            r.ReadAddressParam("IPAddress: ", field);
            EXPECT_EQ(field.GetText(), c.shown) << c.value;
        } else {
            EXPECT_EQ(ZuvMessage([&] { r.ReadAddressParam("IPAddress: ", field); }),
                      "Text file load ABORTED!\nDefault values loaded.\n\"IPAddress: \" parameter "
                      "in error.")
                << c.value;
        }
    }
    // A missing key is the reader's missing-parameter error.
    CIPAddrEdit field(ui_);
    auto& r = Open("Gateway: 10.1.2.3\r\n");
    EXPECT_EQ(ZuvMessage([&] { r.ReadAddressParam("IPAddress: ", field); }),
              "Text file load ABORTED!\nFailed to locate \"IPAddress: \" parameter.");
}

TEST_F(ConfigTextReaderTest, OpenAndClose) {
    CConfigTextReader r(ui_);
    EXPECT_FALSE(r.OpenFile(dir_.File("missing.txt")));
    EXPECT_FALSE(r.IsOpen());
    ASSERT_TRUE(r.OpenFile(dir_.Write("x.txt", "abc\r\n")));
    EXPECT_EQ(r.FileSize(), 5);
    std::string line;
    EXPECT_EQ(r.ReadLine(line), 1u);
    r.CloseFile();
    EXPECT_EQ(r.LineNumber(), 0u);
    EXPECT_EQ(r.ReadLine(line), 0u);
}

TEST_F(ConfigTextReaderTest, ReadErrorIsNotAContentError) {
    CConfigTextReader r(ui_);
    ASSERT_TRUE(r.OpenFile(dir_.Path()));  // a folder opens but cannot be read
    std::string line;
    EXPECT_THROW(r.ReadLine(line), CTextReadError);
}

TEST(ZUVException, Messages) {
    EXPECT_EQ(ZUVException::MissingSection("[EMail]").Message(),
              "Text file load ABORTED!\nFailed to locate \"[EMail]\" section.");
    EXPECT_EQ(ZUVException::MissingParameter("Route07: ").Message(),
              "Text file load ABORTED!\nFailed to locate \"Route07: \" parameter.");
    EXPECT_EQ(ZUVException::ParameterInError("Route07: ").Message(),
              "Text file load ABORTED!\nDefault values loaded.\n\"Route07: \" parameter in error.");
    EXPECT_EQ(ZUVException::ConfigurationInError("IpConfig: ").Message(),
              "Text file load ABORTED!\nDefault values loaded.\n\"IpConfig: \" file "
              "configuration/parameter in error.");
    EXPECT_EQ(ZUVException::SectionInError("[TCPIP]").Message(),
              "Text file load ABORTED!\nDefault values loaded.\n[TCPIP] parameters in error.");
}

TEST(ZUVException, GetAndReport) {
    ZUVException e("abcdef");
    char buf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_TRUE(e.GetErrorMessage(buf, sizeof buf));
    EXPECT_STREQ(buf, "abc");
    EXPECT_FALSE(e.GetErrorMessage(buf, 0));
    char big[16];
    EXPECT_TRUE(e.GetErrorMessage(big, sizeof big));
    EXPECT_STREQ(big, "abcdef");
    EXPECT_STREQ(e.what(), "abcdef");

    ScriptedUiHost ui;
    ui.ExpectMessage();
    e.ReportError(ui);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "abcdef");
    EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::None);
    EXPECT_EQ(ui.Messages()[0].buttons, UiHost::Buttons::Ok);
}

TEST(WriteText, WritesExactlyWhatItIsGiven) {
    CTextOutFile out;
    WriteText(out, "[QorConfiguration]\r\n");
    WriteText(out, "Version: 4");
    WriteText(out, "");
    WriteFormat(out, "\r\nRoute%02d: %s\r\n", 7, "010.001.002.003");
    EXPECT_EQ(out.Text(), "[QorConfiguration]\r\nVersion: 4\r\nRoute07: 010.001.002.003\r\n");
    CTextOutFile wide;
    std::string text(5000, 'w');
    WriteFormat(wide, "%s", text.c_str());
    EXPECT_EQ(wide.Text(), text);
}

TEST(RegroupAddress, Forms) {
    struct Case {
        const char* value;
        std::optional<std::string> grouped;
    } cases[] = {
        {"10.1.2.3", "010.001.002.003"},
        {"010.001.002.003", "010.001.002.003"},
        {"192.168.1.10", "192.168.001.010"},
        {"10.001.2.030", "010.001.002.030"},
        {"10.1.2.x", "010.001.002.00x"},         // the regrouping keeps non-digits for the check
        {"abcdefghijklmno", "abcdefghijklmno"},  // 15 characters stay as they are
        // Only padding is defined: a group of four or more would lose digits.
        {"1234.5.6.7", std::nullopt},
        {"1.2.3.4567", std::nullopt},
        {"1.2.3.4.5", "001.002.003.4.5"},  // the last group is the rest, for the check to refuse
        {"10-0-0-1", std::nullopt},
        {"10.1.2", std::nullopt},
        {"10", std::nullopt},
        {"", std::nullopt},
        {"10..2.3", std::nullopt},
        {"10.1.2.", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegroupAddress(c.value), c.grouped) << c.value;
}

}  // namespace
