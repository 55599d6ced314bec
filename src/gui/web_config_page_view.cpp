#include "gui/web_config_page_view.h"

#include "pages/web_config_page.h"

WebConfigPageView::WebConfigPageView(CWebConfigPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
