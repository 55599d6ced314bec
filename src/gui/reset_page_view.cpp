#include "gui/reset_page_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/control_binding.h"
#include "pages/reset_page.h"

namespace {

// A radio button with its text on the left of the button.
QRadioButton* TextLeft(QWidget* parent) {
    auto* b = new QRadioButton(parent);
    b->setLayoutDirection(Qt::RightToLeft);
    return b;
}

}  // namespace

// The module's dialog: the two displays with their labels on the left, the "Reset Type" frame
// with the three choices and the command on the right. Layouts keep that arrangement in any
// font, where the dialog's fixed places would cut the texts.
ResetPageView::ResetPageView(CResetPage& page, QWidget* parent) : QWidget(parent), page_(page) {
    setObjectName("resetPage");
    const int charWidth = fontMetrics().averageCharWidth();

    auto* hw = new QLineEdit(this);
    hw->setObjectName("hardwareAddressField");
    // Read-only (the model says so), but Tab reaches it: the values are there to be read.
    hw->setMinimumWidth(charWidth * 22);
    Bind(page_.HardwareAddressField(), hw);
    auto* hwLabel = new QLabel("Hardware Address", this);
    hwLabel->setBuddy(hw);

    auto* diag = new QPlainTextEdit(this);
    diag->setObjectName("diagnosticField");
    diag->setReadOnly(true);
    diag->setTabChangesFocus(true);
    diag->setMinimumSize(charWidth * 22, fontMetrics().height() * 5);
    // A multi-line display: the model's text as it is, 8-bit.
    CEdit& diagModel = page_.DiagnosticField();
    QPointer<QPlainTextEdit> guard(diag);
    auto showDiag = [guard, &diagModel] {
        if (!guard) return;
        QString text = FromLatin1(diagModel.Text());
        if (guard->toPlainText() != text) guard->setPlainText(text);
        ApplyCommonState(diagModel, guard);
    };
    diagModel.SetViewListener(showDiag);
    showDiag();
    // Wrapped within its narrow column, as in the dialog.
    auto* diagLabel = new QLabel("QOR Diagnostic Response", this);
    diagLabel->setWordWrap(true);
    diagLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    diagLabel->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Diagnostic")) +
                               charWidth * 2);
    diagLabel->setBuddy(diag);

    auto* fields = new QGridLayout;
    fields->addWidget(hwLabel, 0, 0, Qt::AlignRight);
    fields->addWidget(hw, 0, 1);
    fields->addWidget(diagLabel, 1, 0, Qt::AlignRight);
    fields->addWidget(diag, 1, 1);

    auto* group = new QGroupBox("Reset Type", this);
    group->setObjectName("resetTypeGroup");
    auto* choices = new QVBoxLayout(group);
    QList<QRadioButton*> buttons;
    for (int i = 0; i < 3; ++i) {
        QRadioButton* b = TextLeft(group);
        b->setObjectName(QStringLiteral("resetType%1").arg(i));
        choices->addWidget(b, 0, Qt::AlignHCenter);
        buttons.append(b);
    }
    Bind(page_.ResetTypeGroup(), buttons);
    auto* issue = new QPushButton(group);
    issue->setObjectName("issueResetButton");
    issue->setAutoDefault(false);
    Bind(page_.IssueResetButton(), issue);
    choices->addWidget(issue);

    auto* row = new QHBoxLayout;
    row->addLayout(fields);
    row->addSpacing(charWidth * 2);
    row->addWidget(group, 0, Qt::AlignTop);
    row->addStretch();
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(row);
    outer->addStretch();
}

ResetPageView::~ResetPageView() { page_.DiagnosticField().SetViewListener(nullptr); }
