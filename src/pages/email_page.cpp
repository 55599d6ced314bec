#include "pages/email_page.h"

CEmailPage::CEmailPage(CPageHost& host) : host_(host) {}
