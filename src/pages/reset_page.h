#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Reset" tab: the reset commands, identification text and hardware address.
class CResetPage : public CConfigPage {
public:
    explicit CResetPage(CPageHost& host);

private:
    CPageHost& host_;
};
