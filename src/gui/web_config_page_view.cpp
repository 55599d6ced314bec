#include "gui/web_config_page_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "gui/grid_view.h"
#include "pages/web_config_page.h"

namespace {
constexpr int kPageWidthUnits = 327;
}

void LayOutWebGrid(QWidget* page, GridView* grid, int left, int top, int width) {
    // A dialog unit down is an eighth of the page font's line height; across, the grid takes
    // its share of the page's width. The height is the page's, which the tab control sizes.
    int unitY = page->fontMetrics().height();
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, top * unitY / 8, 0, 0);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    if (left > 0) row->addStretch(left);
    row->addWidget(grid, width);
    if (kPageWidthUnits - left - width > 0) row->addStretch(kPageWidthUnits - left - width);
    column->addLayout(row, 1);
}

bool IsDialogKey(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape: return true;
        default: return false;
    }
}

WebConfigPageView::WebConfigPageView(CWebConfigPage& page, QWidget* parent)
    : QWidget(parent), page_(page), grid_(new GridView(page.Grid(), this)) {
    setObjectName("webConfigPage");
    grid_->setObjectName("webConfigGrid");
    LayOutWebGrid(this, grid_, 0, 1, 324);
}

void WebConfigPageView::keyPressEvent(QKeyEvent* event) {
    if (IsDialogKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
