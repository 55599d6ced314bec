#pragma once

#include <QWidget>

class CResetPage;

// The view of the "Reset" tab.
class ResetPageView : public QWidget {
    Q_OBJECT
public:
    explicit ResetPageView(CResetPage& page, QWidget* parent = nullptr);

private:
    CResetPage& page_;
};
