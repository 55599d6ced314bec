#include "gui/ip_addr_page_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "support/scripted_ui_host.h"

namespace {

// The window's pages in a fresh current directory, with the IP address page's view.
struct IpView {
    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    IpAddrPageView view{dlg.IpAddrPage()};

    IpView() { dlg.Start(); }
    template <typename W>
    W* Find(const char* name) {
        W* w = view.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QStringList Labels() {
        QStringList texts;
        for (QLabel* l : view.findChildren<QLabel*>())
            texts << l->text();
        return texts;
    }
};

TEST(IpAddrPageView, ShowsEveryLabelAndTheDefaults) {
    IpView v;
    for (const char* text :
         {"232 Baud Rate", "QOR Series", "Ethernet Speed/Duplex", "QOR IP Address", "Subnet Mask",
          "Gateway", "Security Mask 1", "Security Mask 2"})
        EXPECT_TRUE(v.Labels().contains(text)) << text;

    QComboBox* series = v.Find<QComboBox>("seriesList");
    ASSERT_EQ(series->count(), 3);
    EXPECT_EQ(series->itemText(1), "B/C");
    EXPECT_EQ(v.Find<QComboBox>("baudList")->currentText(), "Auto");
    EXPECT_EQ(v.Find<QComboBox>("speedList")->currentText(), "Auto Negotiate");
    EXPECT_FALSE(v.Find<QComboBox>("speedList")->isEnabled());

    struct {
        const char* name;
        const char* text;
        bool enabled, checked;
    } boxes[] = {{"routingCheck", "Trellan Routing", false, false},
                 {"bootpCheck", "Obtain via BootP", true, true},
                 {"alwaysCheck", "Always", false, false},
                 {"fallbackCheck", "Fallback", false, false},
                 {"dhcpCheck", "Obtain via DHCP", false, false}};
    for (auto& b : boxes) {
        QCheckBox* w = v.Find<QCheckBox>(b.name);
        EXPECT_EQ(w->text(), b.text);
        EXPECT_EQ(w->isEnabled(), b.enabled) << b.name;
        EXPECT_EQ(w->isChecked(), b.checked) << b.name;
    }
    EXPECT_TRUE(v.Find<QCheckBox>("seriesBCheck")->isHidden());
    for (const char* name : {"ipAddressEdit", "subnetMaskEdit", "gatewayEdit", "securityMask1Edit",
                             "securityMask2Edit"})
        EXPECT_EQ(v.Find<QLineEdit>(name)->text(), "000.000.000.000") << name;
}

TEST(IpAddrPageView, EnabledStatesFollowTheUsersChoices) {
    IpView v;
    QComboBox* series = v.Find<QComboBox>("seriesList");
    emit series->activated(2);
    EXPECT_EQ(v.dlg.IpAddrPage().SeriesIndex(), 2);
    EXPECT_TRUE(v.Find<QComboBox>("speedList")->isEnabled());
    EXPECT_TRUE(v.Find<QCheckBox>("routingCheck")->isEnabled());
    QCheckBox* always = v.Find<QCheckBox>("alwaysCheck");
    QCheckBox* fallback = v.Find<QCheckBox>("fallbackCheck");
    ASSERT_TRUE(always->isEnabled());
    always->click();
    EXPECT_TRUE(always->isChecked());
    EXPECT_FALSE(fallback->isEnabled());
    EXPECT_EQ(v.dlg.IpAddrPage().Mode(), CIpAddrPage::kModeBootpAlways);

    v.Find<QCheckBox>("bootpCheck")->click();
    EXPECT_FALSE(always->isChecked());
    EXPECT_FALSE(always->isEnabled());
    EXPECT_TRUE(v.Find<QCheckBox>("dhcpCheck")->isEnabled());

    emit series->activated(0);
    EXPECT_FALSE(v.Find<QComboBox>("speedList")->isEnabled());
    EXPECT_FALSE(v.Find<QCheckBox>("dhcpCheck")->isEnabled());
    EXPECT_EQ(v.dlg.StatusField().Text(), "Modified");
}

TEST(IpAddrPageView, AddressesFromTheModelReachTheEntries) {
    IpView v;
    v.dlg.IpAddrPage().GatewayEdit().SetText("010.001.002.254");
    EXPECT_EQ(v.Find<QLineEdit>("gatewayEdit")->text(), "010.001.002.254");
}

}  // namespace
