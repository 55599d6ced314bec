#include "gui/reset_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "model/qor_doc.h"
#include "support/scripted_ui_host.h"

namespace {

struct ResetView {
    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    ResetPageView view{dlg.ResetPage()};

    ResetView() { dlg.Start(); }
    template <typename W>
    W* Find(const char* name) {
        W* w = view.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST(ResetPageView, ShowsTheDialogsTexts) {
    ResetView v;
    QStringList labels;
    for (QLabel* l : v.view.findChildren<QLabel*>())
        labels << l->text();
    EXPECT_TRUE(labels.contains("Hardware Address"));
    EXPECT_TRUE(labels.contains("QOR Diagnostic Response"));
    EXPECT_EQ(v.Find<QGroupBox>("resetTypeGroup")->title(), "Reset Type");
    EXPECT_EQ(v.Find<QRadioButton>("resetType0")->text(), "Power Cycle");
    EXPECT_EQ(v.Find<QRadioButton>("resetType1")->text(), "Out of Box ");
    EXPECT_EQ(v.Find<QRadioButton>("resetType2")->text(), "Out of Box \n(Maintain QOR IP Address)");
    EXPECT_TRUE(v.Find<QRadioButton>("resetType0")->isChecked());
    EXPECT_EQ(v.Find<QPushButton>("issueResetButton")->text(), "Issue Reset Command");
    EXPECT_TRUE(v.Find<QLineEdit>("hardwareAddressField")->isReadOnly());
    EXPECT_TRUE(v.Find<QPlainTextEdit>("diagnosticField")->isReadOnly());
    // The two-line choice has room for both lines.
    v.view.show();
    QApplication::processEvents();
    QRadioButton* two = v.Find<QRadioButton>("resetType2");
    EXPECT_GE(two->height(), two->sizeHint().height());
    EXPECT_GE(two->width(), two->sizeHint().width());
}

TEST(ResetPageView, FieldsFollowTheModuleAndTheLink) {
    ResetView v;
    v.dlg.Doc().SET(QorDoc::kIdDiagnostics, "QORW FW=3.13\r\nline two");
    v.dlg.Doc().SET(QorDoc::kIdHwAddress, "00:20:4A:12:34:56");
    v.dlg.ResetPage().LoadFromDocument(v.dlg.Doc());
    EXPECT_EQ(v.Find<QLineEdit>("hardwareAddressField")->text(), "00:20:4A:12:34:56");
    EXPECT_TRUE(
        v.Find<QPlainTextEdit>("diagnosticField")->toPlainText().startsWith("QORW FW=3.13"));
    v.dlg.GoOffline(true);
    EXPECT_EQ(v.Find<QLineEdit>("hardwareAddressField")->text(), "");
    EXPECT_EQ(v.Find<QPlainTextEdit>("diagnosticField")->toPlainText(), "");
}

TEST(ResetPageView, ClickingAsksBeforeAnything) {
    ResetView v;
    v.Find<QRadioButton>("resetType1")->click();
    EXPECT_EQ(v.dlg.ResetPage().ResetTypeGroup().Selected(), 1);
    v.ui.ExpectMessage(UiHost::Answer::No);
    v.Find<QPushButton>("issueResetButton")->click();
    ASSERT_EQ(v.ui.Messages().size(), 1u);
    EXPECT_EQ(v.ui.LastMessage(),
              "Out of Box reset will restore all QOR parameters to out-of-box defaults.\n"
              "Do you wish to proceed?");
}

}  // namespace
