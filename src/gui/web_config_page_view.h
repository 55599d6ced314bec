#pragma once

#include <QWidget>

class CWebConfigPage;
class GridView;
class QKeyEvent;

// The view of the "Web Config" tab: the page's grid, filling the page as in its dialog.
class WebConfigPageView : public QWidget {
    Q_OBJECT
public:
    explicit WebConfigPageView(CWebConfigPage& page, QWidget* parent = nullptr);

    GridView* Grid() const { return grid_; }

protected:
    // Enter and Escape belong to the focused control (they end or cancel a cell edit); any
    // that come back unused stop here instead of reaching the window.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CWebConfigPage& page_;
    GridView* grid_;
};

// Lays a web page's grid out in its page as the page's dialog does: left, top and width of the
// grid in dialog units, in a page 327 units wide; the grid takes the page's height.
void LayOutWebGrid(QWidget* page, GridView* grid, int left, int top, int width);
// The keys that stop at a web page's view.
bool IsDialogKey(const QKeyEvent* event);
