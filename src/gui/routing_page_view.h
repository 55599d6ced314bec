#pragma once

#include <QWidget>

class CRoutingPage;
class GridView;
class QKeyEvent;

// The view of the "Message Routing" tab: the routing grid, placed as in the page's dialog.
class RoutingPageView : public QWidget {
    Q_OBJECT
public:
    explicit RoutingPageView(CRoutingPage& page, QWidget* parent = nullptr);

    GridView* Grid() const { return grid_; }

protected:
    // Enter and Escape belong to the focused control (they end or cancel a cell edit); any
    // that come back unused stop here instead of reaching the window.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CRoutingPage& page_;
    GridView* grid_;
};
