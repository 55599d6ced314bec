#pragma once

#include <QWidget>

class CWebDataDescPage;
class GridView;
class QKeyEvent;

// The view of the "Web Data Desc" tab: the page's grid of the forty names.
class WebDataDescPageView : public QWidget {
    Q_OBJECT
public:
    explicit WebDataDescPageView(CWebDataDescPage& page, QWidget* parent = nullptr);

    GridView* Grid() const { return grid_; }

protected:
    // Enter and Escape belong to the focused control; any that come back unused stop here.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CWebDataDescPage& page_;
    GridView* grid_;
};
