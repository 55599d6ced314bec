#include "gui/email_page_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>

#include "gui/control_binding.h"
#include "gui/grid_view.h"
#include "gui/masked_edit_widget.h"
#include "pages/email_page.h"

EmailPageView::EmailPageView(CEmailPage& page, QWidget* parent)
    : QWidget(parent),
      page_(page),
      server_(new MaskedEditWidget(page.ServerField(), this)),
      sender_(new MaskedEditWidget(page.SenderField(), this)),
      auth_(new QCheckBox(this)),
      username_(new MaskedEditWidget(page.UsernameField(), this)),
      password_(new MaskedEditWidget(page.PasswordField(), this)),
      grid_(new GridView(page.Grid(), this)) {
    setObjectName("emailPage");
    server_->setObjectName("emailServer");
    sender_->setObjectName("emailFrom");
    auth_->setObjectName("smtpAuthentication");
    username_->setObjectName("smtpUsername");
    password_->setObjectName("smtpPassword");
    grid_->setObjectName("emailGrid");
    Bind(page.AuthCheck(), auth_);

    auto* fields = new QGridLayout;
    fields->setVerticalSpacing(4);
    int line = 0;
    auto addField = [&](const char* label, QWidget* field) {
        auto* text = new QLabel(FromLatin1(label), this);
        text->setBuddy(field);
        fields->addWidget(text, line++, 0);
        fields->addWidget(field, line++, 0);
    };
    addField(CEmailPage::kServerLabel, server_);
    addField(CEmailPage::kSenderLabel, sender_);
    fields->addItem(new QSpacerItem(0, 6), line++, 0);
    fields->addWidget(auth_, line++, 0);
    addField(CEmailPage::kUsernameLabel, username_);
    addField(CEmailPage::kPasswordLabel, password_);
    fields->setRowStretch(line, 1);

    // Room for a full address and a good part of a 64-character sender.
    server_->setMinimumWidth(server_->fontMetrics().horizontalAdvance("000.000.000.000") + 16);
    for (QWidget* w : {static_cast<QWidget*>(server_), static_cast<QWidget*>(sender_),
                       static_cast<QWidget*>(username_), static_cast<QWidget*>(password_)})
        w->setMaximumWidth(fontMetrics().horizontalAdvance(QString(26, QChar('m'))));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 0, 3);
    row->addLayout(fields, 2);
    row->addWidget(grid_, 3);

    setTabOrder(server_, sender_);
    setTabOrder(sender_, auth_);
    setTabOrder(auth_, username_);
    setTabOrder(username_, password_);
    setTabOrder(password_, grid_);
}

void EmailPageView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}
