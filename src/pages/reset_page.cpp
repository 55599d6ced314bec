#include "pages/reset_page.h"

CResetPage::CResetPage(CPageHost& host) : host_(host) {}
