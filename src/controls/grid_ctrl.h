#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/control.h"
#include "controls/grid_cell.h"
#include "controls/grid_cell_editor.h"

class UiHost;

struct CCellID {
    int row = -1;
    int col = -1;
    bool IsValid() const { return row >= 0 && col >= 0; }
    bool operator==(const CCellID&) const = default;
};

// Inclusive bounds; invalid when empty.
struct CCellRange {
    int minRow = -1, minCol = -1, maxRow = -1, maxCol = -1;
    bool IsValid() const {
        return minRow >= 0 && minCol >= 0 && maxRow >= minRow && maxCol >= minCol;
    }
    bool Contains(int row, int col) const {
        return IsValid() && row >= minRow && row <= maxRow && col >= minCol && col <= maxCol;
    }
    bool operator==(const CCellRange&) const = default;
};

// What SetCell is given: the position, the fields it carries (mask) and their values.
struct GridItem {
    enum : uint32_t {
        kText = 0x001,
        kImage = 0x002,
        kData = 0x004,
        kState = 0x008,
        kBackColour = 0x010,
        kTextColour = 0x020,
        kFormat = 0x040,
        kFont = 0x080,
        kMargin = 0x100,
    };
    int row = 0, col = 0;
    uint32_t mask = 0;
    std::string text;
    uint32_t format = 0;
    uint32_t state = 0;
    int image = -1;
    uint64_t data = 0;
    uint32_t backColour = kDefaultColour;
    uint32_t textColour = kDefaultColour;
    std::optional<CellFont> font;
    int margin = -1;
};

struct GridSize {
    int width = 0;
    int height = 0;
};

// The table control model: cells with header rows at the top and header columns at the left,
// edited in place. Rows and columns count from 0, headers included. User actions come in from
// the view as calls; what the view must redraw or do goes out through a Listener.
class CGridCtrl : public CControl {
public:
    static constexpr const char* kWindowClass = "QorGridCtrl";
    static constexpr int kDefaultMargin = 3;
    static constexpr unsigned kInPlaceEditorId = 8;

    // What a view hears from the model.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void GridLayoutChanged() {}  // rows, columns, sizes or scrolling
        virtual void GridRepaint() {}        // contents or states of many cells
        virtual void GridCellChanged(int row, int col) { (void)row, (void)col; }
        virtual void GridEditorOpened(CInPlaceEditor& editor) { (void)editor; }
        // The editor is gone after this returns.
        virtual void GridEditorClosed(CInPlaceEditor& editor) { (void)editor; }
        // The open editor should have the keyboard again: its text was refused but is kept.
        virtual void GridEditorFocus(CInPlaceEditor& editor) { (void)editor; }
        // Tab (forward) or Shift+Tab found no further cell: the keyboard goes on to the next
        // control, or back to the previous one.
        virtual void GridTabOut(bool forward) { (void)forward; }
    };

    explicit CGridCtrl(UiHost& ui);
    ~CGridCtrl() override;
    CGridCtrl(const CGridCtrl&) = delete;
    CGridCtrl& operator=(const CGridCtrl&) = delete;

    UiHost& Ui() const { return ui_; }
    void SetListener(Listener* listener) { listener_ = listener; }
    Listener* GetListener() const { return listener_; }

    // Size. The setters return false when memory runs out (the table is then left as it was).
    bool SetRows(int n);
    bool SetColumns(int n);
    bool SetFixedRows(int n);
    bool SetFixedColumns(int n);
    int GetRowCount() const { return rows_; }
    int GetColumnCount() const { return cols_; }
    int GetFixedRowCount() const { return fixedRows_; }
    int GetFixedColumnCount() const { return fixedCols_; }
    int GetRowHeight(int row) const;
    int GetColumnWidth(int col) const;
    bool SetRowHeight(int row, int height);
    bool SetColumnWidth(int col, int width);
    int GetFixedRowHeight() const;    // all header rows together
    int GetFixedColumnWidth() const;  // all header columns together
    int GetVirtualWidth() const;      // all columns
    int GetVirtualHeight() const;     // all rows
    bool IsValid(int row, int col) const {
        return row >= 0 && row < rows_ && col >= 0 && col < cols_;
    }
    bool IsCellFixed(int row, int col) const { return row < fixedRows_ || col < fixedCols_; }

    // Cells.
    CGridCellBase* GetCell(int row, int col) const;
    // The template cells for header cells and for ordinary cells.
    CGridDefaultCell& GetDefaultCell(bool fixed) { return fixed ? fixedDefault_ : cellDefault_; }
    const CGridDefaultCell& GetDefaultCell(bool fixed) const {
        return fixed ? fixedDefault_ : cellDefault_;
    }
    bool SetCell(const GridItem& item);
    bool SetCellText(int row, int col, const std::string& text);
    std::string GetCellText(int row, int col) const;  // empty outside the table
    bool SetCellFormat(int row, int col, uint32_t format);
    uint32_t GetCellFormat(int row, int col) const;
    // Replaces the cell by a new one of the class, which takes over the old cell's contents.
    bool SetCellClass(int row, int col, const CellClassRecord& cls);
    uint32_t GetCellState(int row, int col) const;
    bool SetCellState(int row, int col, uint32_t state);
    void MarkModified(bool flag = true, int row = -1, int col = -1);
    // The cell's modified bit, or the grid-wide flag when no cell is named.
    bool IsModified(int row = -1, int col = -1) const;
    void RepaintCell(int row, int col);
    void Repaint();
    // The cell's own check of a proposed text; true outside the table.
    bool CheckCellText(int row, int col, const std::string& text);
    bool IsCellEditable(int row, int col) const;

    // Sizing to the contents. Both are applied again when the view brings its own text
    // measure or client size, so a page may call them before the grid is shown.
    void FitToContents();
    bool StretchColumn(int col);

    // Switches.
    void SetEditable(bool on) { editable_ = on; }
    bool IsEditable() const { return editable_; }
    void SetDragAndDrop(bool on) { dragAndDrop_ = on; }
    bool IsDragAndDrop() const { return dragAndDrop_; }
    void SetListMode(bool on);  // whole-row selection
    bool IsListMode() const { return listMode_; }
    void SetSingleRowSelection(bool on) { singleRowSelection_ = on; }
    bool IsSingleRowSelection() const { return singleRowSelection_; }
    void SetHeaderSort(bool on) { headerSort_ = on; }
    bool IsHeaderSort() const { return headerSort_; }
    void SetCellSelection(bool on);
    bool IsCellSelection() const { return cellSelection_; }
    void SetRowResize(bool on) { rowResize_ = on; }
    bool IsRowResize() const { return rowResize_; }
    void SetColumnResize(bool on) { columnResize_ = on; }
    bool IsColumnResize() const { return columnResize_; }

    // Focus and selection.
    CCellID GetFocusCell() const { return focus_; }
    void SetFocusCell(int row, int col);
    bool IsCellSelected(int row, int col) const;
    CCellRange GetSelectedRange() const;  // bounds of all selected cells
    int GetSelectedCount() const;
    void SetSelectedRange(const CCellRange& range, bool keepExisting = false);
    void SelectAll();  // every non-header cell
    void ClearSelection();

    // Geometry shared with the view, in pixels. The scroll position moves the non-header part.
    void SetClientSize(int width, int height);
    GridSize GetClientSize() const { return {clientWidth_, clientHeight_}; }
    void SetScrollPos(int x, int y);
    int GetScrollX() const { return scrollX_; }
    int GetScrollY() const { return scrollY_; }
    int GetMaxScrollX() const;
    int GetMaxScrollY() const;
    void EnsureVisible(int row, int col);
    GridRect GetCellRect(int row, int col) const;
    CCellID CellAt(int x, int y) const;  // invalid outside the cells
    void SetTextMeasure(std::function<GridSize(const std::string&)> measure);
    GridSize MeasureText(const std::string& text) const;
    int DefaultRowHeight() const;

    // User actions.
    void KeyDown(int key, bool shift, bool ctrl);
    void Char(unsigned char c, bool ctrl);
    enum class MouseMode { None, Selecting, PrepareEdit, PrepareDrag, Dragging };
    void MouseDown(int row, int col, bool shift, bool ctrl);
    void MouseMove(int row, int col);
    void MouseUp(int row, int col);
    void DoubleClick(int row, int col);
    MouseMode GetMouseMode() const { return mouseMode_; }
    // Drag and drop of cell text. BeginDrag gives the text to drag (empty: no drag); EndDrag
    // says whether the target took it as a move, which clears the source cells that may be
    // empty (the others keep their text, so the move is a copy there).
    std::string BeginDrag();
    void EndDrag(bool moved);
    bool CanDrop(int row, int col) const;
    void DragOver(int row, int col);  // an invalid cell removes the highlight
    // Takes the dropped text whole or not at all: a block that reaches past the grid, or a cell
    // that refuses its part (it shows its message), leaves everything as it was (false).
    bool Drop(int row, int col, const std::string& text);
    void Copy();
    void Cut();
    void Paste();
    void DeleteFocused();
    std::string SelectedText() const;  // tab between columns, CR LF between rows

    // Editing.
    bool StartEdit(int row, int col, int firstKey);
    CInPlaceEditor* GetEditor() const { return editor_.get(); }
    // Ends an open edit as losing the focus would.
    void EndEditing();
    // Ends an open edit as Enter would, for a command that needs the cells' values. A text the
    // cell refuses stays in the open editor, which gets the keyboard back, and the answer is
    // false: the command must not go on.
    bool CommitEdit();
    bool IsCommitting() const { return committing_; }
    // For the cells' OpenEditor: makes the grid's one in-place editor.
    CInPlaceEditor* CreateEditor(int row, int col, const GridRect& rect, unsigned id,
                                 const std::string& text, uint32_t format, int firstKey);

    // Owner notifications; unset means no objection.
    std::function<bool(int row, int col)> onEditStarting;
    std::function<bool(int row, int col, const std::string& text, int key)> onEditEnded;
    // After every change the user makes, so that the main window can refresh its status.
    std::function<void()> onUserChange;

private:
    friend class CInPlaceEditor;
    void EditorEnded(CInPlaceEditor& editor);
    bool ModifyCellText(int row, int col, const std::string& text);
    // With whole set, every cell's part is checked first and the first refusal changes nothing.
    bool PasteTextAt(int row, int col, const std::string& text, bool whole);
    void ClearSelectedCells();
    CCellID NextCell(int key, bool shift, bool ctrl);
    void MoveFocus(const CCellID& next, bool extend, bool ctrl);
    void TabOut(bool forward);
    int VisibleScrollRows() const;
    void UpdatePositionBits();
    void SelectCell(int row, int col, bool on);
    void SelectRangeFromAnchor(const CCellID& to, bool keepExisting);
    void ApplyStretch();
    void ClampScroll();
    void NotifyLayout();
    void NotifyRepaint();
    void NotifyCell(int row, int col);
    void UserChanged();

    UiHost& ui_;
    Listener* listener_ = nullptr;
    int rows_ = 0, cols_ = 0, fixedRows_ = 0, fixedCols_ = 0;
    std::vector<std::vector<std::unique_ptr<CGridCellBase>>> cells_;  // [row][col]
    std::vector<int> rowHeights_, colWidths_;
    CGridDefaultCell fixedDefault_, cellDefault_;
    bool editable_ = true, dragAndDrop_ = false, listMode_ = false, singleRowSelection_ = false,
         headerSort_ = false, cellSelection_ = true, rowResize_ = true, columnResize_ = true;
    bool modified_ = false;
    CCellID focus_;
    CCellID anchor_;
    int clientWidth_ = 0, clientHeight_ = 0, scrollX_ = 0, scrollY_ = 0;
    std::function<GridSize(const std::string&)> measure_;
    bool fitted_ = false;
    int stretchCol_ = -1, stretchBase_ = 0;
    MouseMode mouseMode_ = MouseMode::None;
    CCellID mouseDownCell_;
    bool dragging_ = false;
    bool committing_ = false;
    CCellID dropTarget_;
    std::unique_ptr<CInPlaceEditor> editor_;
    std::unique_ptr<CInPlaceEditor> retired_;  // the editor whose end is still on the stack
};
