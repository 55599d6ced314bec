#include "pages/ip_addr_page.h"

CIpAddrPage::CIpAddrPage(CPageHost& host) : host_(host) {}
