#pragma once

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>

#include "app/utility_dlg.h"
#include "gui/main_window.h"
#include "support/scripted_ui_host.h"

class GridView;
class QLineEdit;
class QWidget;

// Runs queued calls (deferred leave checks, re-focus, layout) until nothing is left.
void Settle();

// Drags the cell from (with the cells below it down to fromLastRow) onto the cell to of the same
// grid: the real mouse press and move on the source, the real drag, move and drop events on the
// target. Returns what the drag ended with.
Qt::DropAction DragCell(GridView* grid, int fromRow, int fromCol, int toRow, int toCol,
                        int fromLastRow = -1);

// Sends a text drop onto a widget at pos; true when the widget took it.
bool DropText(QWidget* target, const QPoint& pos, const QString& text);

// The whole window, started, shown and active, with one page in front.
class ShownWindow : public ::testing::Test {
protected:
    // Brings the page to the front, its view to view and its grid (if any) to grid; fails the
    // test when the window cannot be activated.
    void ShowPage(int page);
    // Types text into a cell of the grid as the keyboard would: focus, cell, then the keys.
    void TypeIntoCell(int row, int col, const char* text);
    // The grid's open edit, if any.
    QLineEdit* Editor();

    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    MainWindow window{dlg};
    QWidget* view = nullptr;
    GridView* grid = nullptr;
};
