// Keyboard and screen-reader reach of the whole window: every control the Tab key reaches has a
// name to announce, and Tab walks each page in the order of its layout.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "gui/grid_view.h"
#include "shown_window.h"

namespace {

struct Stop {
    std::string object;
    std::string name;
};

struct Accessibility : ShownWindow {
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(ShowPage(0)); }

    static Stop StopOf(QWidget* w) {
        // Qt on Linux announces a combo box by its item and its label through the relation;
        // the name given is what other platforms and our own checks see.
        QString name = w->accessibleName();
        if (name.isEmpty())
            name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        return {w->objectName().toStdString(), name.toStdString()};
    }

    // The visible controls under root in the order Tab takes them when they are enabled.
    static std::vector<Stop> Chain(QWidget* root) {
        std::vector<Stop> stops;
        QWidget* w = root;
        for (int guard = 0; guard < 500; ++guard) {
            w = w->nextInFocusChain();
            if (w == root) break;
            if (root->isAncestorOf(w) && w->isVisible() && (w->focusPolicy() & Qt::TabFocus))
                stops.push_back(StopOf(w));
        }
        return stops;
    }

    // Presses Tab from the page's first enabled control until the focus leaves the page (a grid
    // takes Tab from cell to cell first); the names of the controls passed, and of the first
    // control outside, or "(caught)" when Tab cannot get out.
    static std::vector<std::string> TabWalk(QWidget* page) {
        std::vector<std::string> names;
        QWidget* first = page->nextInFocusChain();
        while (first != page && !(page->isAncestorOf(first) && first->isVisible() &&
                                  first->isEnabled() && (first->focusPolicy() & Qt::TabFocus)))
            first = first->nextInFocusChain();
        if (first == page) return names;
        first->setFocus(Qt::TabFocusReason);
        Settle();
        for (int stops = 0; stops < 60; ++stops) {
            QWidget* w = QApplication::focusWidget();
            if (!w) break;
            names.push_back(w->objectName().toStdString());
            if (!page->isAncestorOf(w)) break;
            for (int presses = 0; presses < 300 && QApplication::focusWidget() == w; ++presses) {
                QTest::keyClick(w, Qt::Key_Tab);
                Settle();
            }
            if (QApplication::focusWidget() == w) {
                names.push_back("(caught)");
                break;
            }
        }
        return names;
    }
};

std::string Describe(const std::vector<Stop>& stops) {
    std::string text;
    for (const Stop& s : stops)
        text += "  " + s.object + " \"" + s.name + "\"\n";
    return text;
}

}  // namespace

TEST_F(Accessibility, EveryPageTakesTabInLayoutOrderAndEveryStopHasItsLabelsName) {
    const std::vector<std::vector<Stop>> expected = {
        {{"baudList", "232 Baud Rate"},
         {"seriesList", "QOR Series"},
         {"speedList", "Ethernet Speed/Duplex"},
         {"routingCheck", "Trellan Routing"},
         {"bootpCheck", "Obtain via BootP"},
         {"alwaysCheck", "Always"},
         {"fallbackCheck", "Fallback"},
         {"dhcpCheck", "Obtain via DHCP"},
         {"ipAddressEdit", "QOR IP Address"},
         {"subnetMaskEdit", "Subnet Mask"},
         {"gatewayEdit", "Gateway"},
         {"securityMask1Edit", "Security Mask 1"},
         {"securityMask2Edit", "Security Mask 2"}},
        {{"routingGrid", "Message Routing"}},
        {{"emailServer", "Email Server IP Address"},
         {"emailFrom", "\"From:\""},
         {"smtpAuthentication", "SMTP Authentication"},
         {"smtpUsername", "Username"},
         {"smtpPassword", "Password"},
         {"emailGrid", "Email"}},
        {{"hardwareAddressField", "Hardware Address"},
         {"diagnosticField", "QOR Diagnostic Response"},
         {"resetType0", "Power Cycle"},
         {"resetType1", "Out of Box "},
         {"resetType2", "Out of Box \n(Maintain QOR IP Address)"},
         {"issueResetButton", "Issue Reset Command"}},
        {{"comPortList", "COM Port"},
         {"findModuleButton", "Find Module..."},
         {"baudList", "Baud Rate"},
         {"stationButton", "Provisioning Station..."},
         {"securityMaskEdit", "Configuration Security Mask"},
         {"uploadGroup0", "All "},
         {"uploadGroup1", "Active Tab"},
         {"downloadGroup0", "All"},
         {"downloadGroup2", "Modified"}},
        {{"webConfigGrid", "Web Config"}},
        {{"webDataDescGrid", "Web Data Desc"}},
    };
    QTabWidget* tabs = window.Tabs();
    ASSERT_EQ(static_cast<size_t>(tabs->count()), expected.size());
    for (int i = 0; i < tabs->count(); ++i) {
        dlg.Tabs().RequestSelect(i);
        QApplication::processEvents();
        ASSERT_EQ(tabs->currentIndex(), i);
        std::vector<Stop> got = Chain(tabs->currentWidget());
        std::vector<Stop> want = expected[static_cast<size_t>(i)];
        bool same = got.size() == want.size();
        for (size_t k = 0; same && k < got.size(); ++k)
            same = got[k].object == want[k].object && got[k].name == want[k].name;
        EXPECT_TRUE(same) << tabs->tabText(i).toStdString() << " page's order is\n"
                          << Describe(got) << "instead of\n"
                          << Describe(want);
    }
}

TEST_F(Accessibility, TabLeavesEveryPageForTheCommands) {
    // What Tab passes on the pages as they start (controls the series turns off are skipped; a
    // radio group is one stop), ending at Help.
    const std::vector<std::vector<std::string>> expected = {
        {"baudList", "seriesList", "bootpCheck", "ipAddressEdit", "subnetMaskEdit", "gatewayEdit",
         "securityMask1Edit", "securityMask2Edit", "helpButton"},
        {"routingGrid", "helpButton"},
        {"emailServer", "emailFrom", "emailGrid", "helpButton"},
        {"hardwareAddressField", "diagnosticField", "resetType0", "issueResetButton", "helpButton"},
        {"comPortList", "findModuleButton", "baudList", "stationButton", "uploadGroup0",
         "downloadGroup0", "helpButton"},
        {"webConfigGrid", "helpButton"},
        {"webDataDescGrid", "helpButton"},
    };
    QTabWidget* tabs = window.Tabs();
    for (int i = 0; i < tabs->count(); ++i) {
        dlg.Tabs().RequestSelect(i);
        Settle();
        EXPECT_EQ(TabWalk(tabs->currentWidget()), expected[static_cast<size_t>(i)])
            << tabs->tabText(i).toStdString();
    }
}

TEST_F(Accessibility, TheCommandsFollowThePagesWithHelpFirst) {
    std::vector<Stop> chain = Chain(&window);
    std::vector<std::string> commands;
    for (const Stop& s : chain) {
        if (s.object.size() > 6 && s.object.compare(s.object.size() - 6, 6, "Button") == 0 &&
            s.object != "issueResetButton")
            commands.push_back(s.object + " \"" + s.name + "\"");
    }
    const std::vector<std::string> want = {
        "helpButton \"Help\"",        "fileLoadButton \"File Load\"",
        "qorButton \"QOR\"",          "defaultsButton \"Defaults\"",
        "textLoadButton \"Text...\"", "fileSaveButton \"File Save\"",
        "ramButton \"QOR RAM\"",      "romButton \"QOR ROM\"",
        "textSaveButton \"Text...\""};
    EXPECT_EQ(commands, want) << Describe(chain);
}

TEST_F(Accessibility, EveryLabelOfAControlNamesIt) {
    int labelled = 0;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->buddy()) continue;
        ++labelled;
        QString text = label->text();
        text.remove(QChar('&'));
        EXPECT_EQ(label->buddy()->accessibleName(), text.trimmed()) << text.toStdString();
    }
    EXPECT_GE(labelled, 15);
}

TEST_F(Accessibility, EveryCommandHasItsOwnAltKeyAndAltHOpensHelp) {
    std::set<QKeySequence> seen;
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (!button->isVisible()) continue;
        QKeySequence key = QKeySequence::mnemonic(button->text());
        EXPECT_FALSE(key.isEmpty()) << button->text().toStdString();
        EXPECT_TRUE(key.isEmpty() || seen.insert(key).second)
            << "Alt key used twice: " << button->text().toStdString();
    }
    EXPECT_EQ(seen.size(), 9u);
    QTest::keyClick(window.findChild<QWidget*>("qorButton"), Qt::Key_H, Qt::AltModifier);
    // A mnemonic animates the click: it lands a moment later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ui.helpTopics.size() == 1; }, 2000));
}

TEST_F(Accessibility, ShiftTabFromAGridsFirstCellGoesBackOutOfIt) {
    dlg.Tabs().RequestSelect(CUtilityDlg::kEmailPage);
    Settle();
    GridView* emailGrid = window.findChild<GridView*>("emailGrid");
    ASSERT_NE(emailGrid, nullptr);
    emailGrid->setFocus(Qt::BacktabFocusReason);
    CGridCtrl& model = emailGrid->Model();
    model.SetFocusCell(model.GetFixedRowCount(), model.GetFixedColumnCount());
    Settle();
    QTest::keyClick(emailGrid, Qt::Key_Backtab, Qt::ShiftModifier);
    Settle();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), "emailFrom");
}
