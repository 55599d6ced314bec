#include "pages/web_config_page.h"

CWebConfigPage::CWebConfigPage(CPageHost& host) : host_(host) {}
