#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Web Config" tab: texts, links, titles and passwords of the module's web pages.
class CWebConfigPage : public CConfigPage {
public:
    explicit CWebConfigPage(CPageHost& host);

private:
    CPageHost& host_;
};
