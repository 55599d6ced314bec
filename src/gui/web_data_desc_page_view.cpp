#include "gui/web_data_desc_page_view.h"

#include <QKeyEvent>

#include "gui/grid_view.h"
#include "gui/web_config_page_view.h"
#include "pages/web_data_desc_page.h"

WebDataDescPageView::WebDataDescPageView(CWebDataDescPage& page, QWidget* parent)
    : QWidget(parent), page_(page), grid_(new GridView(page.Grid(), this)) {
    setObjectName("webDataDescPage");
    grid_->setObjectName("webDataDescGrid");
    LayOutWebGrid(this, grid_, 0, 0, 307);
}

void WebDataDescPageView::keyPressEvent(QKeyEvent* event) {
    if (IsDialogKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
