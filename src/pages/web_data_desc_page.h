#pragma once

#include "pages/web_config_page.h"

class CPageHost;

// The "Web Data Desc" tab: the 40 data-description names, ten rows on each of the module's
// four data pages.
class CWebDataDescPage : public CWebGridPage {
public:
    static constexpr const char* kSection = "[WebDataDesc]";

    explicit CWebDataDescPage(CPageHost& host);
};
