#include "gui/grid_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "gui/control_binding.h"
#include "gui/grid_view.h"

namespace {

class GridAccessible;

// One cell of the table; header cells are the row and column headers of the others.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCellAccessible(GridView* view, int row, int col) : view_(view), row_(row), col_(col) {}

    bool isValid() const override {
        return view_ && view_->Model().IsValid(row_, col_);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return view_ ? view_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        switch (t) {
            case QAccessible::Name: return view_->CellAccessibleName(row_, col_);
            case QAccessible::Value: return FromLatin1(view_->Model().GetCellText(row_, col_));
            default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = view_->CellRect(row_, col_);
        QWidget* vp = view_->viewport();
        return QRect(vp->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::Role role() const override {
        if (!isValid()) return QAccessible::Cell;
        const CGridCtrl& m = view_->Model();
        if (row_ < m.GetFixedRowCount()) return QAccessible::ColumnHeader;
        if (col_ < m.GetFixedColumnCount()) return QAccessible::RowHeader;
        return QAccessible::Cell;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const CGridCtrl& m = view_->Model();
        const QRect r = view_->CellRect(row_, col_);
        s.invisible = !view_->isVisible() || !view_->viewport()->rect().intersects(r);
        s.offscreen = s.invisible;
        if (m.IsCellFixed(row_, col_)) return s;
        s.selectable = m.IsCellSelection();
        s.selected = m.IsCellSelected(row_, col_);
        s.focusable = true;
        s.focused = view_->hasFocus() && m.GetFocusCell() == CCellID{row_, col_};
        s.editable = m.IsCellEditable(row_, col_);
        s.readOnly = !s.editable;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    // Table cell.
    bool isSelected() const override { return isValid() && view_->Model().IsCellSelected(row_, col_); }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override;
    int columnIndex() const override { return col_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<GridView> view_;
    int row_, col_;
};

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(GridView* view) : QAccessibleWidget(view, QAccessible::Table) {}
    ~GridAccessible() override { ClearCells(); }

    GridView* View() const { return static_cast<GridView*>(widget()); }
    const CGridCtrl& Model() const { return View()->Model(); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    int childCount() const override { return Model().GetRowCount() * Model().GetColumnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int cols = Model().GetColumnCount();
        if (index < 0 || cols == 0 || index >= childCount()) return nullptr;
        return cellAt(index / cols, index % cols);
    }
    int indexOfChild(const QAccessibleInterface* iface) const override {
        if (!iface || iface->role() == QAccessible::Table) return -1;
        auto* cell = const_cast<QAccessibleInterface*>(iface)->tableCellInterface();
        if (!cell || cell->table() != this) return -1;
        return cell->rowIndex() * Model().GetColumnCount() + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint p = View()->viewport()->mapFromGlobal(QPoint(x, y));
        const CCellID id = Model().CellAt(p.x(), p.y());
        return id.IsValid() ? cellAt(id.row, id.col) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const CCellID f = Model().GetFocusCell();
        return View()->hasFocus() && f.IsValid() ? cellAt(f.row, f.col) : nullptr;
    }

    // Table.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int col) const override {
        if (!Model().IsValid(row, col)) return nullptr;
        const int cols = Model().GetColumnCount();
        if (cols != cachedCols_) {
            const_cast<GridAccessible*>(this)->ClearCells();
            cachedCols_ = cols;
        }
        const int key = row * cols + col;
        auto it = cells_.constFind(key);
        if (it != cells_.constEnd()) return QAccessible::accessibleInterface(*it);
        auto* iface = new GridCellAccessible(View(), row, col);
        cells_.insert(key, QAccessible::registerAccessibleInterface(iface));
        return iface;
    }
    int selectedCellCount() const override { return Model().GetSelectedCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> list;
        for (int r = 0; r < Model().GetRowCount(); ++r) {
            for (int c = 0; c < Model().GetColumnCount(); ++c) {
                if (Model().IsCellSelected(r, c)) list << cellAt(r, c);
            }
        }
        return list;
    }
    QString columnDescription(int col) const override {
        QStringList texts;
        for (int r = 0; r < Model().GetFixedRowCount(); ++r) {
            texts << FromLatin1(Model().GetCellText(r, col));
        }
        return texts.join(' ');
    }
    QString rowDescription(int row) const override {
        QStringList texts;
        for (int c = 0; c < Model().GetFixedColumnCount(); ++c) {
            texts << FromLatin1(Model().GetCellText(row, c));
        }
        return texts.join(' ');
    }
    int selectedColumnCount() const override { return static_cast<int>(selectedColumns().size()); }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int columnCount() const override { return Model().GetColumnCount(); }
    int rowCount() const override { return Model().GetRowCount(); }
    QList<int> selectedColumns() const override {
        QList<int> list;
        for (int c = 0; c < Model().GetColumnCount(); ++c) {
            if (isColumnSelected(c)) list << c;
        }
        return list;
    }
    QList<int> selectedRows() const override {
        QList<int> list;
        for (int r = 0; r < Model().GetRowCount(); ++r) {
            if (isRowSelected(r)) list << r;
        }
        return list;
    }
    bool isColumnSelected(int col) const override {
        const CGridCtrl& m = Model();
        if (m.GetRowCount() <= m.GetFixedRowCount()) return false;
        for (int r = m.GetFixedRowCount(); r < m.GetRowCount(); ++r) {
            if (!m.IsCellSelected(r, col)) return false;
        }
        return true;
    }
    bool isRowSelected(int row) const override {
        const CGridCtrl& m = Model();
        if (m.GetColumnCount() <= m.GetFixedColumnCount()) return false;
        for (int c = m.GetFixedColumnCount(); c < m.GetColumnCount(); ++c) {
            if (!m.IsCellSelected(row, c)) return false;
        }
        return true;
    }
    // Selection belongs to the user's keys and mouse.
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { ClearCells(); }

private:
    // Also runs from the destructor, possibly after the view is gone: touches no model.
    void ClearCells() {
        for (QAccessible::Id id : std::as_const(cells_)) QAccessible::deleteAccessibleInterface(id);
        cells_.clear();
    }

    mutable QHash<int, QAccessible::Id> cells_;
    mutable int cachedCols_ = 0;
};

QList<QAccessibleInterface*> GridCellAccessible::columnHeaderCells() const {
    QList<QAccessibleInterface*> list;
    if (!isValid() || role() != QAccessible::Cell) return list;
    auto* table = parent() ? parent()->tableInterface() : nullptr;
    for (int r = 0; table && r < view_->Model().GetFixedRowCount(); ++r) {
        list << table->cellAt(r, col_);
    }
    return list;
}

QList<QAccessibleInterface*> GridCellAccessible::rowHeaderCells() const {
    QList<QAccessibleInterface*> list;
    if (!isValid() || role() != QAccessible::Cell) return list;
    auto* table = parent() ? parent()->tableInterface() : nullptr;
    for (int c = 0; table && c < view_->Model().GetFixedColumnCount(); ++c) {
        list << table->cellAt(row_, c);
    }
    return list;
}

QAccessibleInterface* GridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("GridView") && object && object->isWidgetType()) {
        return new GridAccessible(static_cast<GridView*>(object));
    }
    return nullptr;
}

}  // namespace

void InstallGridAccessibleFactory() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(GridFactory);
}
