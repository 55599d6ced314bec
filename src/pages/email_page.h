#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Email" tab: the e-mail server, sender, login and 50 destinations.
class CEmailPage : public CConfigPage {
public:
    explicit CEmailPage(CPageHost& host);

private:
    CPageHost& host_;
};
