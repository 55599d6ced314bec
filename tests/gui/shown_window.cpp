#include "shown_window.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QTabWidget>
#include <QTest>
#include <algorithm>

#include "gui/grid_view.h"

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

namespace {

// Delivers a drag's events as the platform's drag loop would. Without a drag running, the
// events propose a copy unless Shift asks for a move; the views' drags propose a move.
Qt::DropAction Deliver(QWidget* target, const QPoint& pos, const QMimeData* mime,
                       Qt::DropAction proposed) {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    const Qt::KeyboardModifiers mods =
        proposed == Qt::MoveAction ? Qt::ShiftModifier : Qt::NoModifier;
    QDragEnterEvent enter(pos, actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return Qt::IgnoreAction;
    QDragMoveEvent move(pos, actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(pos, actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

}  // namespace

Qt::DropAction DragCell(GridView* grid, int fromRow, int fromCol, int toRow, int toCol,
                        int fromLastRow) {
    QWidget* viewport = grid->viewport();
    const QPoint from = grid->CellRect(fromRow, fromCol).center();
    const QPoint to = grid->CellRect(toRow, toCol).center();
    Qt::DropAction done = Qt::IgnoreAction;
    GridView::SetDragRunner([&](QDrag& drag, Qt::DropActions, Qt::DropAction proposed) {
        done = Deliver(viewport, to, drag.mimeData(), proposed);
        return done;
    });
    // A press on the focused, selected cell prepares a drag; moving far enough starts it.
    grid->Model().SetFocusCell(fromRow, fromCol);
    grid->Model().SetSelectedRange({fromRow, fromCol, std::max(fromRow, fromLastRow), fromCol});
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    GridView::SetDragRunner(nullptr);
    Settle();
    return done;
}

bool DropText(QWidget* target, const QPoint& pos, const QString& text) {
    QMimeData mime;
    mime.setText(text);
    return Deliver(target, pos, &mime, Qt::CopyAction) != Qt::IgnoreAction;
}

void ShownWindow::ShowPage(int page) {
    dlg.Start();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    dlg.Tabs().RequestSelect(page);
    Settle();
    ASSERT_EQ(window.Tabs()->currentIndex(), page);
    view = window.Tabs()->currentWidget();
    grid = view->findChild<GridView*>();
}

QLineEdit* ShownWindow::Editor() {
    return grid ? grid->EditField() : nullptr;
}

void ShownWindow::TypeIntoCell(int row, int col, const char* text) {
    grid->setFocus(Qt::OtherFocusReason);
    Settle();
    grid->Model().SetFocusCell(row, col);
    QTest::keyClicks(grid, text);
    Settle();
}
