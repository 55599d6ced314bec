#include "shown_window.h"

#include <QApplication>
#include <QTabWidget>
#include <QTest>

#include "gui/grid_view.h"

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
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
