#pragma once

#include <QWidget>

class CRoutingPage;

// The view of the "Message Routing" tab.
class RoutingPageView : public QWidget {
    Q_OBJECT
public:
    explicit RoutingPageView(CRoutingPage& page, QWidget* parent = nullptr);

private:
    CRoutingPage& page_;
};
