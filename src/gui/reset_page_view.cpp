#include "gui/reset_page_view.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include "gui/control_binding.h"
#include "pages/reset_page.h"

namespace {

// Dialog units to pixels in the widget's font.
class DialogUnits {
public:
    explicit DialogUnits(const QWidget* w)
        : x_(w->fontMetrics().averageCharWidth()), y_(w->fontMetrics().height()) {}
    QRect Rect(int x, int y, int w, int h) const {
        return QRect(x * x_ / 4, y * y_ / 8, w * x_ / 4, h * y_ / 8);
    }

private:
    int x_, y_;
};

// A radio button with its text on the left of the button.
QRadioButton* TextLeft(QWidget* parent) {
    auto* b = new QRadioButton(parent);
    b->setLayoutDirection(Qt::RightToLeft);
    return b;
}

}  // namespace

ResetPageView::ResetPageView(CResetPage& page, QWidget* parent) : QWidget(parent), page_(page) {
    setObjectName("resetPage");
    DialogUnits du(this);

    auto* hwLabel = new QLabel("Hardware Address", this);
    hwLabel->setGeometry(du.Rect(8, 14, 62, 8));
    auto* hw = new QLineEdit(this);
    hw->setObjectName("hardwareAddressField");
    hw->setGeometry(du.Rect(73, 11, 85, 12));
    hw->setFocusPolicy(Qt::ClickFocus);
    Bind(page_.HardwareAddressField(), hw);

    auto* diagLabel = new QLabel("QOR Diagnostic Response", this);
    diagLabel->setWordWrap(true);
    diagLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    diagLabel->setGeometry(du.Rect(31, 38, 36, 27));
    auto* diag = new QPlainTextEdit(this);
    diag->setObjectName("diagnosticField");
    diag->setGeometry(du.Rect(73, 28, 85, 54));
    diag->setReadOnly(true);
    diag->setFocusPolicy(Qt::ClickFocus);
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

    auto* group = new QGroupBox("Reset Type", this);
    group->setObjectName("resetTypeGroup");
    group->setGeometry(du.Rect(170, 8, 125, 74));
    const QRect radios[3] = {du.Rect(182, 19, 99, 10), du.Rect(181, 33, 100, 8),
                             du.Rect(182, 45, 99, 16)};
    QList<QRadioButton*> buttons;
    for (int i = 0; i < 3; ++i) {
        QRadioButton* b = TextLeft(group);
        b->setObjectName(QStringLiteral("resetType%1").arg(i));
        b->setGeometry(radios[i].translated(-group->x(), -group->y()));
        buttons.append(b);
    }
    Bind(page_.ResetTypeGroup(), buttons);
    // Room for the texts in the font in use, which may be taller than the dialog's.
    for (QRadioButton* b : buttons) {
        QRect r = b->geometry();
        r.setHeight(std::max(r.height(), b->sizeHint().height()));
        b->setGeometry(r);
    }

    auto* issue = new QPushButton(this);
    issue->setObjectName("issueResetButton");
    issue->setAutoDefault(false);
    issue->setGeometry(du.Rect(177, 65, 108, 14));
    Bind(page_.IssueResetButton(), issue);

    setMinimumSize(du.Rect(0, 0, 300, 86).size());
}

ResetPageView::~ResetPageView() { page_.DiagnosticField().SetViewListener(nullptr); }
