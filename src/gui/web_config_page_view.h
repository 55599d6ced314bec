#pragma once

#include <QWidget>

class CWebConfigPage;

// The view of the "Web Config" tab.
class WebConfigPageView : public QWidget {
    Q_OBJECT
public:
    explicit WebConfigPageView(CWebConfigPage& page, QWidget* parent = nullptr);

private:
    CWebConfigPage& page_;
};
