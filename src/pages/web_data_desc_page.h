#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Web Data Desc" tab: the 40 data-description names.
class CWebDataDescPage : public CConfigPage {
public:
    explicit CWebDataDescPage(CPageHost& host);

private:
    CPageHost& host_;
};
