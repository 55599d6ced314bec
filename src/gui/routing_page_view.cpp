#include "gui/routing_page_view.h"

#include "pages/routing_page.h"

RoutingPageView::RoutingPageView(CRoutingPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
