#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <QPointer>
#include <functional>

#include "controls/grid_ctrl.h"

class QDrag;
class QLineEdit;
class GridEditField;

// The window of a grid: draws the model's cells (header rows and columns in the button face),
// turns keys, mouse, wheel, clipboard shortcuts and drag and drop into the model's calls, and
// shows the model's in-place editor as a text field over the focused cell. Every rule about
// what may be edited and how an edit ends is the model's.
class GridView : public QAbstractScrollArea, private CGridCtrl::Listener {
    Q_OBJECT
public:
    // The model must outlive the view.
    explicit GridView(CGridCtrl& model, QWidget* parent = nullptr);
    ~GridView() override;

    CGridCtrl& Model() const { return model_; }
    // The open in-place editor's field, or null.
    QLineEdit* EditField() const;
    // A cell's rectangle in the viewport.
    QRect CellRect(int row, int col) const;
    // What a screen reader says for a cell: its row and column headers, then its text.
    QString CellAccessibleName(int row, int col) const;

    QSize sizeHint() const override;

    // Carries out a drag that a view starts and says what the target did with it; unset, the
    // platform's drag loop does. Tests deliver the drag's events themselves, since a display
    // without a pointer (offscreen) ends every drag at once.
    using DragRunner =
        std::function<Qt::DropAction(QDrag&, Qt::DropActions supported, Qt::DropAction proposed)>;
    static void SetDragRunner(DragRunner runner);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    friend class GridEditField;

    void GridLayoutChanged() override;
    void GridRepaint() override;
    void GridCellChanged(int row, int col) override;
    void GridEditorOpened(CInPlaceEditor& editor) override;
    void GridEditorClosed(CInPlaceEditor& editor) override;
    void GridEditorFocus(CInPlaceEditor& editor) override;
    void GridTabOut(bool forward) override;

    void UpdateScrollBars();
    void UpdateMeasure();
    void SyncField();
    void FieldEdited();
    void FieldSelectionMoved();
    // Keys the grid itself takes; false for anything else.
    bool HandleGridKey(QKeyEvent* e);
    CCellID CellAtPoint(const QPoint& pos, bool clampToViewport) const;
    void PaintCell(class QPainter& p, int row, int col);
    void NotifyAccessibleFocus();

    CGridCtrl& model_;
    CInPlaceEditor* editor_ = nullptr;
    QPointer<GridEditField> field_;
    bool syncing_ = false;
    bool updatingBars_ = false;
    QPoint pressPos_;
    CCellID accessibleFocus_;  // the cell screen readers were last told of
};
