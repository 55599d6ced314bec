#include "gui/email_page_view.h"

#include "pages/email_page.h"

EmailPageView::EmailPageView(CEmailPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
