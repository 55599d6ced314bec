#include "pages/routing_page.h"

CRoutingPage::CRoutingPage(CPageHost& host) : host_(host) {}
