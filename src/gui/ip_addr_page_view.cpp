#include "gui/ip_addr_page_view.h"

#include "pages/ip_addr_page.h"

IpAddrPageView::IpAddrPageView(CIpAddrPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
