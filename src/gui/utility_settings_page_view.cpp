#include "gui/utility_settings_page_view.h"

#include "pages/utility_settings_page.h"

UtilitySettingsPageView::UtilitySettingsPageView(CUtilitySettingsPage& page, QWidget* parent) : QWidget(parent), page_(page) {}
