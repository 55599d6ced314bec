#include "pages/reset_page.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pages/page_host.h"
#include "app/utility_dlg.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "qorsim/sim_module.h"
#include "support/scripted_ui_host.h"

namespace {

// A main window that only records the reset requests.
class RecordingHost : public CPageHost {
public:
    explicit RecordingHost(UiHost& ui) : ui_(ui) {}
    UiHost& Ui() override { return ui_; }
    LinkSettings& Link() override { return link_; }
    int32_t& DcfVersion() override { return dcf_; }
    int32_t& TextVersion() override { return text_; }
    void RefreshStatus() override {}
    void RequestReset(int kind) override { resets.push_back(kind); }
    void SeriesSelected(int) override {}
    void StoreAllPages() override {}
    void GoOffline(bool) override {}

    std::vector<int> resets;

private:
    UiHost& ui_;
    LinkSettings link_;
    int32_t dcf_ = 4, text_ = 4;
};

const char* const kConfirm[3] = {
    "Power Cycle reset will cause loss of data not previously saved to ROM.\n"
    "Do you wish to proceed?",
    "Out of Box reset will restore all QOR parameters to out-of-box defaults.\n"
    "Do you wish to proceed?",
    "Out of Box IP reset will restore all QOR parameters except \n"
    "IP address, subnet mask and gateway to out-of-box defaults.\n"
    "Do you wish to proceed?"};

TEST(ResetPage, ConfirmsAndRequestsTheChosenKind) {
    ScriptedUiHost ui;
    RecordingHost host(ui);
    CResetPage page(host);
    EXPECT_EQ(page.ResetTypeGroup().Selected(), 0);
    EXPECT_EQ(page.ResetTypeGroup().ItemText(1), "Out of Box ");
    EXPECT_EQ(page.ResetTypeGroup().ItemText(2), "Out of Box \n(Maintain QOR IP Address)");
    EXPECT_EQ(page.IssueResetButton().Text(), "Issue Reset Command");

    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        ui.ClearMessages();
        host.resets.clear();
        page.ResetTypeGroup().Select(type);
        ui.ExpectMessage(UiHost::Answer::No);
        page.IssueResetButton().Click();
        EXPECT_TRUE(host.resets.empty());
        ui.ExpectMessage(UiHost::Answer::Yes);
        page.IssueResetButton().Click();
        EXPECT_EQ(host.resets, std::vector<int>{type + 1});
        ASSERT_EQ(ui.Messages().size(), 2u);
        const auto& m = ui.Messages()[1];
        EXPECT_EQ(m.text, kConfirm[type]);
        EXPECT_EQ(m.icon, UiHost::Icon::Question);
        EXPECT_EQ(m.buttons, UiHost::Buttons::YesNo);
        EXPECT_EQ(page.ResetType(), type);
    }
    page.LoadDefaults();
    EXPECT_EQ(page.ResetTypeGroup().Selected(), 0);
}

class ResetPageTest : public ::testing::Test {
protected:
    ResetPageTest() {
        dlg_ = std::make_unique<CUtilityDlg>(ui);
        dlg_->Start();
    }
    CUtilityDlg& Dlg() { return *dlg_; }
    CResetPage& Page() { return dlg_->ResetPage(); }

    // What an upload leaves: the module's identification and hardware address.
    void Uploaded() {
        Dlg().Doc().SET(QorDoc::kIdDiagnostics, "QORW FW=3.13 Diagnostics OK");
        Dlg().Doc().SET(QorDoc::kIdHwAddress, "00:20:4A:12:34:56");
        Page().LoadFromDocument(Dlg().Doc());
    }
    std::string Written() {
        CTextOutFile out;
        Page().WriteSection(out, Dlg().Doc());
        return out.Text();
    }

    InTempCwd cwd_;
    const TempDir& dir_ = cwd_.Dir();
    ScriptedUiHost ui;
    std::unique_ptr<CUtilityDlg> dlg_;
};

TEST_F(ResetPageTest, ShowsTheModuleAndForgetsItWhenTheLinkGoes) {
    EXPECT_TRUE(Page().HardwareAddressField().IsReadOnly());
    EXPECT_TRUE(Page().DiagnosticField().IsReadOnly());
    Uploaded();
    EXPECT_EQ(Page().HardwareAddressField().Text(), "00:20:4A:12:34:56");
    EXPECT_EQ(Written(),
              "\r\n[Device]\r\nEthernetAddress: 00:20:4A:12:34:56\r\n"
              "\r\n[Diagnostics]\r\nQORW FW=3.13 Diagnostics OK");

    Dlg().GoOffline(true);
    EXPECT_EQ(Page().HardwareAddressField().Text(), "");
    EXPECT_EQ(Page().DiagnosticField().Text(), "");
    EXPECT_EQ(Written(), "\r\n[Device]\r\nEthernetAddress: \r\n\r\n[Diagnostics]\r\n");
}

TEST_F(ResetPageTest, QueuesTheIdentificationThenTheHardwareAddress) {
    QorDoc& doc = Dlg().Doc();
    doc.ClearQueue();
    Page().QueueParameters(doc);
    EXPECT_EQ(std::vector<int>(doc.Queue().begin(), doc.Queue().end()),
              (std::vector<int>{0xF8, 0xFE}));
    // Nothing of this page goes to the module.
    doc.ClearQueue();
    Page().StoreToDocument(doc, true);
    EXPECT_TRUE(doc.IsQueueEmpty());
}

TEST_F(ResetPageTest, DcfKeepsTheHardwareAddressOnly) {
    Uploaded();
    Page().ResetTypeGroup().Select(2);
    auto out = CDcfArchive::ForStoring();
    Page().ExchangeDcf(out);
    EXPECT_EQ(out.Bytes(), std::string("\x11") + "00:20:4A:12:34:56");

    Page().HardwareAddressField().SetText("other");
    auto in = CDcfArchive::ForLoading(out.Bytes());
    Page().ExchangeDcf(in);
    EXPECT_EQ(Page().HardwareAddressField().Text(), "00:20:4A:12:34:56");
    EXPECT_EQ(Page().DiagnosticField().Text(), "");
    // The reset type is not in the file.
    EXPECT_EQ(Page().ResetTypeGroup().Selected(), 2);
}

TEST_F(ResetPageTest, TextLoadLeavesThePageAlone) {
    Uploaded();
    CTextOutFile out;
    WriteText(out, "[QorConfiguration]\r\nVersion: 4");
    std::string path = dir_.Write("t.txt", out.Text() + Written());
    CConfigTextReader reader(ui);
    ASSERT_TRUE(reader.OpenFile(path));
    Page().LoadDefaults();
    Page().ResetTypeGroup().Select(1);
    Page().ReadSection(reader);
    EXPECT_EQ(Page().HardwareAddressField().Text(), "00:20:4A:12:34:56");
    EXPECT_EQ(Page().DiagnosticField().Text(), "QORW FW=3.13 Diagnostics OK");
    EXPECT_EQ(Page().ResetTypeGroup().Selected(), 1);
}

}  // namespace

// ---- against the simulated module

namespace {

TEST_F(ResetPageTest, PowerCycleRunsTheWholeResetSequence) {
    constexpr int kPort = 22;
    SimOptions o;
    o.restartSilenceMs = 50;
    o.announceIntervalMs = 50;
    SimModule sim(o);
    ASSERT_TRUE(sim.Start());
    const std::string var = "QORW_COM" + std::to_string(kPort);
    setenv(var.c_str(), sim.SlavePath().c_str(), 1);
    SerialChannel channel;
    Dlg().Doc().AttachChannel(channel);
    Dlg().Link().comPort = kPort;
    Dlg().Link().pcBaudIndex = 0;

    Page().ResetTypeGroup().Select(0);
    ui.ExpectMessage(UiHost::Answer::Yes);
    Page().IssueResetButton().Click();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{std::string(kConfirm[0])});
    EXPECT_EQ(sim.Stats().resets, 1);
    EXPECT_EQ(sim.Stats().lastResetKind, 1);
    // The wait for the restart went through the host, which returned at once.
    EXPECT_GT(ui.pauses, 0);
    // Reconnected and read everything again: the page shows the module.
    EXPECT_EQ(Page().HardwareAddressField().Text(), "00:00:BC:1A:2B:3C");
    EXPECT_NE(Page().DiagnosticField().Text().find("FW="), std::string::npos);
    EXPECT_EQ(Dlg().StatusField().Text(), "Device Values");
    EXPECT_TRUE(Dlg().IsWindowEnabled());
    EXPECT_FALSE(Dlg().IsBusy());

    dlg_.reset();  // before the channel it was given
    channel.Close();
    sim.Stop();
    unsetenv(var.c_str());
}

}  // namespace
