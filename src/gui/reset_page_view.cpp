#include "gui/reset_page_view.h"

#include "pages/reset_page.h"

ResetPageView::ResetPageView(CResetPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
