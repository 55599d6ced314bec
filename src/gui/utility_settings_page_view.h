#pragma once

#include <QWidget>

class CUtilitySettingsPage;

// The view of the "Utility Settings" tab.
class UtilitySettingsPageView : public QWidget {
    Q_OBJECT
public:
    explicit UtilitySettingsPageView(CUtilitySettingsPage& page, QWidget* parent = nullptr);
    ~UtilitySettingsPageView() override;

private:
    // "Find Module...": scans the ports and takes the module found over.
    void FindModule();

    CUtilitySettingsPage& page_;
};
