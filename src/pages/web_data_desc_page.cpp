#include "pages/web_data_desc_page.h"

CWebDataDescPage::CWebDataDescPage(CPageHost& host) : host_(host) {}
