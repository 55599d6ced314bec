#include "gui/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/utility_dlg.h"
#include "gui/window_icon.h"

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(CUtilityDlg::kAboutTitle);
    setObjectName("aboutBox");

    auto* icon = new QLabel(this);
    int side = fontMetrics().height() * 2;
    icon->setPixmap(UtilityIcon().pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(CUtilityDlg::kAboutVersion, this);
    version->setObjectName("aboutVersion");
    auto* date = new QLabel(CUtilityDlg::kAboutDate, this);
    date->setObjectName("aboutDate");
    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(date);
    texts->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addSpacing(fontMetrics().averageCharWidth() * 2);
    layout->addLayout(texts, 1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
