#pragma once

#include <QWidget>

class CResetPage;

// The view of the "Reset" tab, placed as the module's dialog places it.
class ResetPageView : public QWidget {
    Q_OBJECT
public:
    explicit ResetPageView(CResetPage& page, QWidget* parent = nullptr);
    ~ResetPageView() override;

private:
    CResetPage& page_;
};
