#pragma once

#include <QWidget>

class CEmailPage;

// The view of the "Email" tab.
class EmailPageView : public QWidget {
    Q_OBJECT
public:
    explicit EmailPageView(CEmailPage& page, QWidget* parent = nullptr);

private:
    CEmailPage& page_;
};
