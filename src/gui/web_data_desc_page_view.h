#pragma once

#include <QWidget>

class CWebDataDescPage;

// The view of the "Web Data Desc" tab.
class WebDataDescPageView : public QWidget {
    Q_OBJECT
public:
    explicit WebDataDescPageView(CWebDataDescPage& page, QWidget* parent = nullptr);

private:
    CWebDataDescPage& page_;
};
