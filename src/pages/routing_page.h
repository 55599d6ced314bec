#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Message Routing" tab: the table of 50 routing addresses.
class CRoutingPage : public CConfigPage {
public:
    explicit CRoutingPage(CPageHost& host);

private:
    CPageHost& host_;
};
