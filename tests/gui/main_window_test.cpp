#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/utility_dlg.h"
#include "gui/about_box.h"
#include "gui/control_binding.h"
#include "gui/progress_window.h"
#include "gui/qt_ui_host.h"
#include "support/scripted_ui_host.h"

namespace {

// Stands in for a page whose check the test decides.
struct CheckPage : CConfigPage {
    bool accepts = true;
    bool TakeControlValues() override { return accepts; }
};

const char* const kCommandButtons[] = {"fileLoadButton", "qorButton",      "defaultsButton",
                                       "textLoadButton", "fileSaveButton", "ramButton",
                                       "romButton",      "textSaveButton"};

struct Fixture {
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    MainWindow window{dlg};
    CheckPage ipPage;

    Fixture() {
        dlg.Tabs().SetPage(0, ipPage);
        dlg.Start();
    }
    QPushButton* Button(const char* name) { return window.findChild<QPushButton*>(name); }
    void ShowActive() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void ClickTab(int index) {
        QTabBar* bar = window.Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
};

// Runs check on the next modal dialog as soon as it opens, then closes it.
void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        check(modal);
        modal->close();
    });
}

}  // namespace

TEST(MainWindowView, ShowsTheSevenTabsInOrder) {
    Fixture f;
    QTabWidget* tabs = f.window.Tabs();
    ASSERT_EQ(tabs->count(), 7);
    const char* expected[] = {"QOR IP Addr",      "Message Routing", "Email",        "Reset",
                              "Utility Settings", "Web Config",      "Web Data Desc"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(tabs->tabText(i).toStdString(), expected[i]);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(f.window.windowTitle().toStdString(), "QOR / QORW Utility");
    EXPECT_FALSE(f.window.windowIcon().isNull());
}

TEST(MainWindowView, StatusFieldIsReadOnlyAndFollowsTheModel) {
    Fixture f;
    QLineEdit* status = f.window.StatusField();
    EXPECT_EQ(status->text().toStdString(), "Default Values");
    EXPECT_TRUE(status->isReadOnly());
    f.dlg.ShowStatus("Connecting...");
    EXPECT_EQ(status->text().toStdString(), "Connecting...");
}

TEST(MainWindowView, ButtonsCarryTheirTextsAndStartEnabled) {
    Fixture f;
    const std::pair<const char*, const char*> buttons[] = {
        {"fileLoadButton", "File &Load"}, {"qorButton", "&QOR"},
        {"defaultsButton", "&Defaults"},  {"textLoadButton", "&Text..."},
        {"fileSaveButton", "File &Save"}, {"ramButton", "QOR R&AM"},
        {"romButton", "QOR R&OM"},        {"textSaveButton", "Te&xt..."},
        {"helpButton", "&Help"}};
    for (auto [name, text] : buttons) {
        QPushButton* b = f.Button(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text().toStdString(), text);
        EXPECT_TRUE(b->isEnabled()) << name;
    }
    EXPECT_TRUE(f.window.Tabs()->isEnabled());
}

TEST(MainWindowView, ClickingTabsAppliesTheirButtonRules) {
    Fixture f;
    f.ShowActive();
    f.ClickTab(4);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 4);
    for (const char* name : kCommandButtons)
        EXPECT_FALSE(f.Button(name)->isEnabled()) << name;
    EXPECT_TRUE(f.Button("helpButton")->isEnabled());
    f.ClickTab(3);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 3);
    EXPECT_FALSE(f.Button("ramButton")->isEnabled());
    EXPECT_FALSE(f.Button("romButton")->isEnabled());
    EXPECT_TRUE(f.Button("qorButton")->isEnabled());
    EXPECT_TRUE(f.Button("textSaveButton")->isEnabled());
}

TEST(MainWindowView, KeyboardTabSwitchingGoesThroughThePageCheck) {
    Fixture f;
    f.ShowActive();
    QWidget* target = f.Button("qorButton");  // focus outside the tab control
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 1);
    QTest::keyClick(target, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 2);
    QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 0);
    QTest::keyClick(target, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 6);  // wraps around
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 6);
    QTest::keyClick(target, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 0);

    f.ipPage.accepts = false;
    QTest::keyClick(target, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 0);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 0);
}

TEST(MainWindowView, ARefusedTabClickKeepsThePageInFront) {
    Fixture f;
    f.ShowActive();
    f.ipPage.accepts = false;
    QWidget* page0 = f.window.Tabs()->widget(0);
    f.ClickTab(2);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 0);
    EXPECT_EQ(f.window.Tabs()->currentWidget(), page0);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 0);
    // Arrow keys on the tab bar take the same road.
    f.window.Tabs()->tabBar()->setFocus();
    QTest::keyClick(f.window.Tabs()->tabBar(), Qt::Key_Right);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 0);
    f.ipPage.accepts = true;
    QTest::keyClick(f.window.Tabs()->tabBar(), Qt::Key_Right);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 1);
}

TEST(MainWindowView, APageRefusingInValidatePagesComesToTheFrontWithItsFieldFocused) {
    // A page 2 whose check refuses and asks for the focus on its field, as pages do.
    struct FieldPage : CConfigPage {
        CEdit field;
        bool TakeControlValues() override {
            field.RequestFocus();
            return false;
        }
    } page;
    Fixture f;
    f.dlg.Tabs().SetPage(2, page);
    auto* edit = new QLineEdit(f.window.Tabs()->widget(2));
    Bind(page.field, edit);
    page.field.SetText("bad");
    f.ShowActive();
    f.Button("qorButton")->setFocus();
    EXPECT_FALSE(f.dlg.ValidatePages());
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 2);
    EXPECT_TRUE(edit->isVisible());
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "bad");
}

TEST(MainWindowView, SettingTheTabFromOutsideIsPutBackAndAskedFor) {
    Fixture f;
    f.ipPage.accepts = false;
    f.window.Tabs()->setCurrentIndex(5);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 0);
    f.ipPage.accepts = true;
    f.window.Tabs()->setCurrentIndex(5);
    EXPECT_EQ(f.window.Tabs()->currentIndex(), 5);
    EXPECT_EQ(f.dlg.Tabs().VisibleIndex(), 5);
}

TEST(MainWindowView, DisablingTheCommandsDisablesTheirWidgets) {
    Fixture f;
    f.dlg.SetCommandsEnabled(false);
    for (const char* name : kCommandButtons)
        EXPECT_FALSE(f.Button(name)->isEnabled()) << name;
    EXPECT_FALSE(f.window.Tabs()->isEnabled());
    f.dlg.SetCommandsEnabled(true);
    EXPECT_TRUE(f.window.Tabs()->isEnabled());
    f.dlg.EnableWindow(false);
    EXPECT_FALSE(f.Button("helpButton")->isEnabled());
    EXPECT_FALSE(f.window.StatusField()->isEnabled());
    f.dlg.EnableWindow(true);
    EXPECT_TRUE(f.Button("helpButton")->isEnabled());
}

TEST(MainWindowView, ProgressWindowFollowsItsModel) {
    Fixture f;
    f.window.show();
    CProgressWnd& model = f.dlg.Progress();
    ProgressWindow* view = f.window.Progress();
    EXPECT_FALSE(view->isVisible());
    model.SetTitle("Uploading...");
    model.SetRange(0, 4);
    model.Open();
    model.StepIt();
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle().toStdString(), "Uploading...");
    EXPECT_EQ(view->Bar()->maximum(), 4);
    EXPECT_EQ(view->Bar()->value(), 1);
    // Disabling the main window leaves the progress window as it is.
    f.dlg.EnableWindow(false);
    EXPECT_TRUE(view->isEnabled());
    f.dlg.EnableWindow(true);
    model.Close();
    EXPECT_FALSE(view->isVisible());
}

TEST(MainWindowView, AboutBoxShowsVersionAndDate) {
    Fixture f;
    std::string title, version, date;
    OnNextModal([&](QWidget* box) {
        title = box->windowTitle().toStdString();
        version = box->findChild<QLabel*>("aboutVersion")->text().toStdString();
        date = box->findChild<QLabel*>("aboutDate")->text().toStdString();
    });
    f.window.ShowAbout();
    EXPECT_EQ(title, "About QOR / QORW Utility");
    EXPECT_EQ(version, "QOR / QORW Utility 3.01");
    EXPECT_EQ(date, "Release Date:  08/17/2005");
}

TEST(MainWindowView, F1OpensHelpAndCtrlF1TheAboutBox) {
    Fixture f;
    f.ShowActive();
    QWidget* target = f.Button("qorButton");
    QTest::keyClick(target, Qt::Key_F1);
    EXPECT_EQ(f.ui.helpTopics, (std::vector<std::string>{"qorwutil.chm::/Overview.htm"}));
    std::string title;
    OnNextModal([&](QWidget* box) { title = box->windowTitle().toStdString(); });
    QTest::keyClick(target, Qt::Key_F1, Qt::ControlModifier);
    EXPECT_EQ(title, "About QOR / QORW Utility");
}

TEST(MainWindowView, NoMenuOrAboutWhileTheWindowIsDisabled) {
    Fixture f;
    f.ShowActive();
    f.dlg.EnableWindow(false);
    f.window.ShowAbout();  // would block in its own event loop if it opened
    QTest::keyClick(&f.window, Qt::Key_F1);
    EXPECT_TRUE(f.ui.helpTopics.empty());
    f.dlg.EnableWindow(true);
}

TEST(MainWindowView, WindowMenuHoldsTheAboutEntry) {
    Fixture f;
    f.ShowActive();
    std::vector<std::string> entries;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            entries.push_back(a->text().toStdString());
        menu->close();
    });
    f.window.ShowWindowMenu(f.window.mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(entries, (std::vector<std::string>{"&About QOR / QORW Utility..."}));
}

TEST(MainWindowView, CloseAsksOnlyWhenAPageDiffers) {
    struct DiffPage : CConfigPage {
        bool differs = false;
        bool DiffersFromDocument(QorDoc&) override { return differs; }
    } email;
    Fixture f;
    f.dlg.Tabs().SetPage(2, email);
    f.window.show();
    email.differs = true;
    f.ui.ExpectMessage(UiHost::Answer::No);
    EXPECT_FALSE(f.window.close());
    EXPECT_TRUE(f.window.isVisible());
    email.differs = false;
    EXPECT_TRUE(f.window.close());
    EXPECT_EQ(f.ui.Messages().size(), 1u);
}

TEST(QtUiHost, FiltersKeepTheirDescriptionsAndMatchEveryFileForStarDotStar) {
    EXPECT_EQ(QtUiHost::QtFilters("Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||"),
              (QStringList{"Device Config (*.dcf) (*.dcf)", "All Files (*.*) (*)"}));
    EXPECT_EQ(QtUiHost::QtFilters("Text File (*.txt) |*.txt|All Files (*.*)|*.*||"),
              (QStringList{"Text File (*.txt) (*.txt)", "All Files (*.*) (*)"}));
    EXPECT_EQ(QtUiHost::QtFilters("Both|*.a;*.b||"), (QStringList{"Both (*.a *.b)"}));
}

TEST(QtUiHost, TheHelpTopicIsTheProjectsOwnOverviewPage) {
    QString file = QtUiHost::HelpFile("qorwutil.chm::/Overview.htm");
    EXPECT_EQ(file, QFileInfo(QOR_SOURCE_DIR "/docs/help/Overview.html").canonicalFilePath());
    EXPECT_TRUE(QtUiHost::HelpFile("qorwutil.chm::/NoSuchPage.htm").isEmpty());
}

TEST(QtUiHost, MessageBoxShowsWhatIsAskedAndReturnsTheButtonPressed) {
    QtUiHost host;
    struct Seen {
        std::string title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    } seen;
    auto inspect = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&seen, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                    box->standardButtons(),
                    box->defaultButton() ? box->standardButton(box->defaultButton())
                                         : QMessageBox::NoButton};
            if (press == QMessageBox::NoButton) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                box->button(press)->click();
            }
        });
    };

    inspect(QMessageBox::Yes);
    EXPECT_EQ(host.MessageBox("Proceed?", "QOR / QORW Utility", UiHost::Icon::None,
                              UiHost::Buttons::YesNo, UiHost::Answer::No),
              UiHost::Answer::Yes);
    EXPECT_EQ(seen.title, "QOR / QORW Utility");
    EXPECT_EQ(seen.text, "Proceed?");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    inspect(QMessageBox::NoButton);
    EXPECT_EQ(host.MessageBox("Proceed?", "", UiHost::Icon::None, UiHost::Buttons::YesNo,
                              UiHost::Answer::No),
              UiHost::Answer::No);

    inspect(QMessageBox::Ok);
    EXPECT_EQ(host.Message("Invalid Comm Port Selected"), UiHost::Answer::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.text, "Invalid Comm Port Selected");

    // The module's 8-bit texts arrive as Latin-1.
    inspect(QMessageBox::Ok);
    host.Message("Caf\xE9");
    EXPECT_EQ(seen.text, "Caf\xC3\xA9");
}

TEST(QtUiHost, FileDialogsOfferTheFiltersAndAddTheDefaultExtension) {
    QtUiHost host;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    auto answer = [&](const QString& name) {
        QTimer::singleShot(0, [&filters, &mode, name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            mode = dialog->fileMode();
            if (name.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(name);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
    };

    answer({});
    EXPECT_EQ(host.OpenFileName("Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||", "dcf"),
              std::nullopt);
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(filters, (QStringList{"Device Config (*.dcf) (*.dcf)", "All Files (*.*) (*)"}));

    answer(dir.path() + "/config");
    auto saved = host.SaveFileName("Text File (*.txt) |*.txt|All Files (*.*)|*.*||", "txt");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(*saved, (dir.path() + "/config.txt").toStdString());
    EXPECT_EQ(mode, QFileDialog::AnyFile);
}
