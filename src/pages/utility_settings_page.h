#pragma once

#include "pages/config_page.h"

class CPageHost;

// The "Utility Settings" tab: COM port, PC baud rate, transfer behaviour, security mask.
class CUtilitySettingsPage : public CConfigPage {
public:
    explicit CUtilitySettingsPage(CPageHost& host);

private:
    CPageHost& host_;
};
