#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "QOR IP Addr" tab: the module's serial rate, addresses, IP configuration and series.
class CIpAddrPage : public CConfigPage {
public:
    explicit CIpAddrPage(CPageHost& host);

private:
    CPageHost& host_;
};
