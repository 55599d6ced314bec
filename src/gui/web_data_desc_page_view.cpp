#include "gui/web_data_desc_page_view.h"

#include "pages/web_data_desc_page.h"

WebDataDescPageView::WebDataDescPageView(CWebDataDescPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
