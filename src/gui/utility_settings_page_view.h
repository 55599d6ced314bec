#pragma once

#include <QWidget>

class CUtilitySettingsPage;

// The view of the "Utility Settings" tab.
class UtilitySettingsPageView : public QWidget {
    Q_OBJECT
public:
    explicit UtilitySettingsPageView(CUtilitySettingsPage& page, QWidget* parent = nullptr);

private:
    CUtilitySettingsPage& page_;
};
