#include "gui/routing_page_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>

#include "gui/grid_view.h"
#include "pages/routing_page.h"

RoutingPageView::RoutingPageView(CRoutingPage& page, QWidget* parent)
    : QWidget(parent), page_(page), grid_(new GridView(page.Grid(), this)) {
    setObjectName("routingPage");
    grid_->setObjectName("routingGrid");
    // The dialog puts the grid 48 units from the left, 216 units wide, in a page 327 wide.
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 3, 0, 3);
    row->setSpacing(0);
    row->addStretch(48);
    row->addWidget(grid_, 216);
    row->addStretch(63);
}

void RoutingPageView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}
