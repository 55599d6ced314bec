#include "pages/utility_settings_page.h"

CUtilitySettingsPage::CUtilitySettingsPage(CPageHost& host) : host_(host) {}
