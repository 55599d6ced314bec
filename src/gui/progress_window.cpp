#include "gui/progress_window.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QVBoxLayout>

#include "host/progress.h"
#include "gui/control_binding.h"

ProgressWindow::ProgressWindow(CProgressWnd& model, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      model_(model),
      bar_(new QProgressBar(this)) {
    setObjectName("progressWindow");
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    // 228 by 33 dialog units.
    QFontMetrics fm = fontMetrics();
    setFixedSize(fm.averageCharWidth() * 228 / 4, fm.height() * 33 / 8);
    model_.SetListener([this] { Update(); });
    Update();
}

ProgressWindow::~ProgressWindow() {
    model_.SetListener(nullptr);
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (model_.IsOpen())
        event->ignore();
}

void ProgressWindow::Update() {
    setWindowTitle(FromLatin1(model_.Title()));
    bar_->setRange(model_.Lower(), model_.Upper());
    bar_->setValue(model_.Pos());
    if (model_.IsOpen() && !isVisible()) {
        if (QWidget* owner = parentWidget()) {
            QRect area = owner->frameGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
        show();
        raise();
    } else if (!model_.IsOpen() && isVisible()) {
        hide();
    }
}
