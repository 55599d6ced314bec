#include "controls/grid_ctrl.h"

#include <algorithm>
#include <new>
#include <numeric>

#include "host/silent_ui_host.h"
#include "host/ui_host.h"

namespace {

// Until the view brings the font's metrics: a plain fixed-pitch estimate.
GridSize EstimateText(const std::string& text) {
    return {7 * static_cast<int>(text.size()), 15};
}

bool IsMoveKey(int key) {
    switch (key) {
        case kKeyTab:
        case kKeyPageUp:
        case kKeyPageDown:
        case kKeyEnd:
        case kKeyHome:
        case kKeyUp:
        case kKeyDown:
        case kKeyLeft:
        case kKeyRight:
            return true;
        default:
            return false;
    }
}

}  // namespace

CGridCtrl::CGridCtrl(UiHost& ui) : ui_(ui) {
    const uint32_t format = CellFormat::kLeft | CellFormat::kVCenter | CellFormat::kSingleLine |
                            CellFormat::kEndEllipsis;
    for (CGridDefaultCell* d : {&fixedDefault_, &cellDefault_}) {
        d->SetFormat(format);
        d->SetMargin(kDefaultMargin);
    }
    fixedDefault_.SetState(GridState::kFixed | GridState::kReadOnly);
}

CGridCtrl::~CGridCtrl() {
    // The editor points back at the grid; let it go without ending the edit.
    editor_.reset();
    retired_.reset();
}

// ---- size ----

bool CGridCtrl::SetRows(int n) {
    if (n < 0) return false;
    if (n == rows_) return true;
    if (editor_ && editor_->Row() >= n) EndEditing();
    try {
        std::vector<std::vector<std::unique_ptr<CGridCellBase>>> added;
        for (int r = rows_; r < n; ++r) {
            std::vector<std::unique_ptr<CGridCellBase>> row;
            row.reserve(cols_);
            for (int c = 0; c < cols_; ++c)
                row.push_back(CGridCell::Create());
            added.push_back(std::move(row));
        }
        rowHeights_.reserve(n);
        cells_.reserve(n);
        for (auto& row : added)
            cells_.push_back(std::move(row));
        cells_.resize(n);
        rowHeights_.resize(n, DefaultRowHeight());
    } catch (const std::bad_alloc&) {
        cells_.resize(rows_);
        rowHeights_.resize(rows_);
        return false;
    }
    rows_ = n;
    fixedRows_ = std::min(fixedRows_, n);
    if (focus_.row >= n) focus_ = {};
    if (anchor_.row >= n) anchor_ = {};
    UpdatePositionBits();
    ClampScroll();
    NotifyLayout();
    return true;
}

bool CGridCtrl::SetColumns(int n) {
    if (n < 0) return false;
    if (n == cols_) return true;
    if (editor_ && editor_->Column() >= n) EndEditing();
    const int defaultWidth = MeasureText("0000000000").width + 2 * kDefaultMargin;
    try {
        colWidths_.reserve(n);
        for (auto& row : cells_) {
            row.reserve(n);
            for (int c = static_cast<int>(row.size()); c < n; ++c)
                row.push_back(CGridCell::Create());
        }
        for (auto& row : cells_)
            row.resize(n);
        colWidths_.resize(n, defaultWidth);
    } catch (const std::bad_alloc&) {
        for (auto& row : cells_)
            row.resize(std::min<size_t>(row.size(), cols_));
        colWidths_.resize(cols_);
        return false;
    }
    cols_ = n;
    fixedCols_ = std::min(fixedCols_, n);
    if (focus_.col >= n) focus_ = {};
    if (anchor_.col >= n) anchor_ = {};
    if (stretchCol_ >= n) stretchCol_ = -1;
    UpdatePositionBits();
    ClampScroll();
    NotifyLayout();
    return true;
}

bool CGridCtrl::SetFixedRows(int n) {
    if (n < 0) return false;
    if (n > rows_ && !SetRows(n)) return false;
    fixedRows_ = n;
    if (focus_.IsValid() && IsCellFixed(focus_.row, focus_.col)) SetFocusCell(-1, -1);
    UpdatePositionBits();
    ClampScroll();
    NotifyLayout();
    return true;
}

bool CGridCtrl::SetFixedColumns(int n) {
    if (n < 0) return false;
    if (n > cols_ && !SetColumns(n)) return false;
    fixedCols_ = n;
    if (focus_.IsValid() && IsCellFixed(focus_.row, focus_.col)) SetFocusCell(-1, -1);
    UpdatePositionBits();
    ClampScroll();
    NotifyLayout();
    return true;
}

int CGridCtrl::GetRowHeight(int row) const {
    return row >= 0 && row < rows_ ? rowHeights_[row] : 0;
}

int CGridCtrl::GetColumnWidth(int col) const {
    return col >= 0 && col < cols_ ? colWidths_[col] : 0;
}

bool CGridCtrl::SetRowHeight(int row, int height) {
    if (row < 0 || row >= rows_ || height < 0) return false;
    rowHeights_[row] = height;
    ClampScroll();
    NotifyLayout();
    return true;
}

bool CGridCtrl::SetColumnWidth(int col, int width) {
    if (col < 0 || col >= cols_ || width < 0) return false;
    colWidths_[col] = width;
    if (col == stretchCol_) stretchCol_ = -1;  // a width set by hand wins
    ClampScroll();
    NotifyLayout();
    return true;
}

int CGridCtrl::GetFixedRowHeight() const {
    return std::accumulate(rowHeights_.begin(), rowHeights_.begin() + fixedRows_, 0);
}

int CGridCtrl::GetFixedColumnWidth() const {
    return std::accumulate(colWidths_.begin(), colWidths_.begin() + fixedCols_, 0);
}

int CGridCtrl::GetVirtualWidth() const {
    return std::accumulate(colWidths_.begin(), colWidths_.end(), 0);
}

int CGridCtrl::GetVirtualHeight() const {
    return std::accumulate(rowHeights_.begin(), rowHeights_.end(), 0);
}

void CGridCtrl::UpdatePositionBits() {
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            CGridCellBase* cell = cells_[r][c].get();
            uint32_t s = cell->GetState() & ~GridState::kPositionBits;
            if (r < fixedRows_) s |= GridState::kFixed | GridState::kFixedRow;
            if (c < fixedCols_) s |= GridState::kFixed | GridState::kFixedColumn;
            cell->SetState(s);
        }
    }
}

// ---- cells ----

CGridCellBase* CGridCtrl::GetCell(int row, int col) const {
    return IsValid(row, col) ? cells_[row][col].get() : nullptr;
}

bool CGridCtrl::SetCell(const GridItem& item) {
    CGridCellBase* cell = GetCell(item.row, item.col);
    if (!cell) return false;
    if (item.mask & GridItem::kText) cell->SetText(item.text);
    if (item.mask & GridItem::kImage) cell->SetImage(item.image);
    if (item.mask & GridItem::kData) cell->SetData(item.data);
    if (item.mask & GridItem::kState) SetCellState(item.row, item.col, item.state);
    if (item.mask & GridItem::kBackColour) cell->SetBackColour(item.backColour);
    if (item.mask & GridItem::kTextColour) cell->SetTextColour(item.textColour);
    if (item.mask & GridItem::kFormat) cell->SetFormat(item.format);
    if (item.mask & GridItem::kFont) cell->SetFont(item.font);
    if (item.mask & GridItem::kMargin) cell->SetMargin(item.margin);
    NotifyCell(item.row, item.col);
    return true;
}

bool CGridCtrl::SetCellText(int row, int col, const std::string& text) {
    CGridCellBase* cell = GetCell(row, col);
    if (!cell) return false;
    cell->SetText(text);
    NotifyCell(row, col);
    return true;
}

std::string CGridCtrl::GetCellText(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetText() : std::string();
}

bool CGridCtrl::SetCellFormat(int row, int col, uint32_t format) {
    CGridCellBase* cell = GetCell(row, col);
    if (!cell) return false;
    cell->SetFormat(format);
    NotifyCell(row, col);
    return true;
}

uint32_t CGridCtrl::GetCellFormat(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetFormat() : 0;
}

bool CGridCtrl::SetCellClass(int row, int col, const CellClassRecord& cls) {
    if (!IsValid(row, col) || !cls.create || !cls.IsDerivedFrom(CGridCellBase::kClass)) {
        return false;
    }
    std::unique_ptr<CGridCellBase> cell;
    try {
        cell = cls.create();
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!cell) return false;
    cell->CopyFrom(*cells_[row][col]);
    cells_[row][col] = std::move(cell);
    NotifyCell(row, col);
    return true;
}

uint32_t CGridCtrl::GetCellState(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->GetState() : 0;
}

bool CGridCtrl::SetCellState(int row, int col, uint32_t state) {
    CGridCellBase* cell = GetCell(row, col);
    if (!cell) return false;
    // Where a cell stands is the grid's to say.
    cell->SetState((state & ~GridState::kPositionBits) |
                   (cell->GetState() & GridState::kPositionBits));
    NotifyCell(row, col);
    return true;
}

void CGridCtrl::MarkModified(bool flag, int row, int col) {
    if (row > 0 && col > 0) {
        if (CGridCellBase* cell = GetCell(row, col)) {
            if (flag) {
                cell->SetState(cell->GetState() | GridState::kModified);
                modified_ = true;
            } else {
                cell->SetState(cell->GetState() & ~GridState::kModified);
            }
            NotifyCell(row, col);
        }
    } else {
        modified_ = flag;
    }
    if (!modified_) {
        for (auto& r : cells_) {
            for (auto& cell : r)
                cell->SetState(cell->GetState() & ~GridState::kModified);
        }
    }
}

bool CGridCtrl::IsModified(int row, int col) const {
    if (const CGridCellBase* cell = GetCell(row, col)) return cell->IsModified();
    return modified_;
}

void CGridCtrl::RepaintCell(int row, int col) {
    if (IsValid(row, col)) NotifyCell(row, col);
}

void CGridCtrl::Repaint() {
    NotifyRepaint();
}

bool CGridCtrl::CheckCellText(int row, int col, const std::string& text) {
    const CGridCellBase* cell = GetCell(row, col);
    return cell ? cell->CheckEntry(ui_, text) : true;
}

bool CGridCtrl::IsCellEditable(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell && editable_ && !IsCellFixed(row, col) && !cell->IsReadOnly();
}

// ---- sizing ----

void CGridCtrl::FitToContents() {
    fitted_ = true;
    std::vector<int> widths(cols_, 0), heights(rows_, 0);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            const CGridCellBase& cell = *cells_[r][c];
            int margin = cell.GetMargin();
            if (margin < 0) margin = GetDefaultCell(IsCellFixed(r, c)).GetMargin();
            const GridSize size = MeasureText(cell.GetText());
            widths[c] = std::max(widths[c], size.width + 2 * margin);
            heights[r] = std::max(heights[r], size.height + 2 * margin);
        }
    }
    colWidths_ = widths;
    rowHeights_ = heights;
    if (stretchCol_ >= 0) {
        stretchBase_ = colWidths_[stretchCol_];
        ApplyStretch();
    }
    ClampScroll();
    NotifyLayout();
}

bool CGridCtrl::StretchColumn(int col) {
    if (col < 0 || col >= cols_) return false;
    stretchCol_ = col;
    stretchBase_ = colWidths_[col];
    ApplyStretch();
    ClampScroll();
    NotifyLayout();
    return true;
}

void CGridCtrl::ApplyStretch() {
    if (stretchCol_ < 0 || stretchCol_ >= cols_ || clientWidth_ <= 0) return;
    const int others = GetVirtualWidth() - colWidths_[stretchCol_];
    // Filling a wide grid; a narrow one scrolls rather than cutting the column below its text.
    colWidths_[stretchCol_] = std::max(stretchBase_, clientWidth_ - others);
}

// ---- switches ----

void CGridCtrl::SetListMode(bool on) {
    listMode_ = on;
    singleRowSelection_ = false;
    ClearSelection();
}

void CGridCtrl::SetCellSelection(bool on) {
    cellSelection_ = on;
    if (!on) ClearSelection();
}

// ---- focus and selection ----

void CGridCtrl::SetFocusCell(int row, int col) {
    const CCellID next = IsValid(row, col) ? CCellID{row, col} : CCellID{};
    if (next == focus_) return;
    if (editor_) EndEditing();
    if (CGridCellBase* old = GetCell(focus_.row, focus_.col)) {
        old->SetState(old->GetState() & ~GridState::kFocused);
        NotifyCell(focus_.row, focus_.col);
    }
    focus_ = next;
    if (CGridCellBase* cell = GetCell(focus_.row, focus_.col)) {
        cell->SetState(cell->GetState() | GridState::kFocused);
        NotifyCell(focus_.row, focus_.col);
    }
}

bool CGridCtrl::IsCellSelected(int row, int col) const {
    const CGridCellBase* cell = GetCell(row, col);
    return cell && cell->IsSelected();
}

CCellRange CGridCtrl::GetSelectedRange() const {
    CCellRange range;
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            if (!cells_[r][c]->IsSelected()) continue;
            if (!range.IsValid()) {
                range = {r, c, r, c};
                continue;
            }
            range.minRow = std::min(range.minRow, r);
            range.maxRow = std::max(range.maxRow, r);
            range.minCol = std::min(range.minCol, c);
            range.maxCol = std::max(range.maxCol, c);
        }
    }
    return range;
}

int CGridCtrl::GetSelectedCount() const {
    int n = 0;
    for (auto& r : cells_) {
        for (auto& cell : r)
            n += cell->IsSelected() ? 1 : 0;
    }
    return n;
}

void CGridCtrl::SelectCell(int row, int col, bool on) {
    CGridCellBase* cell = GetCell(row, col);
    if (!cell) return;
    const uint32_t s =
        on ? cell->GetState() | GridState::kSelected : cell->GetState() & ~GridState::kSelected;
    cell->SetState(s);
}

void CGridCtrl::SetSelectedRange(const CCellRange& range, bool keepExisting) {
    if (!keepExisting) {
        for (auto& r : cells_) {
            for (auto& cell : r)
                cell->SetState(cell->GetState() & ~GridState::kSelected);
        }
    }
    if (cellSelection_ && range.IsValid()) {
        CCellRange sel = range;
        if (listMode_) {
            sel.minCol = fixedCols_;
            sel.maxCol = cols_ - 1;
            if (singleRowSelection_) sel.minRow = sel.maxRow;
        }
        for (int r = std::max(sel.minRow, 0); r <= std::min(sel.maxRow, rows_ - 1); ++r) {
            for (int c = std::max(sel.minCol, 0); c <= std::min(sel.maxCol, cols_ - 1); ++c) {
                SelectCell(r, c, true);
            }
        }
    }
    NotifyRepaint();
}

void CGridCtrl::SelectAll() {
    if (rows_ <= fixedRows_ || cols_ <= fixedCols_) return;
    SetSelectedRange({fixedRows_, fixedCols_, rows_ - 1, cols_ - 1});
}

void CGridCtrl::ClearSelection() {
    SetSelectedRange({});
}

void CGridCtrl::SelectRangeFromAnchor(const CCellID& to, bool keepExisting) {
    const CCellID from = anchor_.IsValid() ? anchor_ : to;
    SetSelectedRange({std::min(from.row, to.row), std::min(from.col, to.col),
                      std::max(from.row, to.row), std::max(from.col, to.col)},
                     keepExisting);
}

// ---- geometry ----

void CGridCtrl::SetClientSize(int width, int height) {
    if (width == clientWidth_ && height == clientHeight_) return;
    clientWidth_ = std::max(width, 0);
    clientHeight_ = std::max(height, 0);
    ApplyStretch();
    ClampScroll();
    NotifyLayout();
}

void CGridCtrl::SetScrollPos(int x, int y) {
    const int oldX = scrollX_, oldY = scrollY_;
    scrollX_ = x;
    scrollY_ = y;
    ClampScroll();
    if (scrollX_ != oldX || scrollY_ != oldY) NotifyLayout();
}

int CGridCtrl::GetMaxScrollX() const {
    return std::max(0, GetVirtualWidth() - clientWidth_);
}

int CGridCtrl::GetMaxScrollY() const {
    return std::max(0, GetVirtualHeight() - clientHeight_);
}

void CGridCtrl::ClampScroll() {
    scrollX_ = std::clamp(scrollX_, 0, GetMaxScrollX());
    scrollY_ = std::clamp(scrollY_, 0, GetMaxScrollY());
}

void CGridCtrl::EnsureVisible(int row, int col) {
    if (!IsValid(row, col) || clientWidth_ <= 0 || clientHeight_ <= 0) return;
    const int oldX = scrollX_, oldY = scrollY_;
    if (row >= fixedRows_) {
        const int top =
            std::accumulate(rowHeights_.begin() + fixedRows_, rowHeights_.begin() + row, 0);
        const int bottom = top + rowHeights_[row];
        const int span = clientHeight_ - GetFixedRowHeight();
        if (top < scrollY_)
            scrollY_ = top;
        else if (bottom > scrollY_ + span)
            scrollY_ = std::min(top, bottom - span);
    }
    if (col >= fixedCols_) {
        const int left =
            std::accumulate(colWidths_.begin() + fixedCols_, colWidths_.begin() + col, 0);
        const int right = left + colWidths_[col];
        const int span = clientWidth_ - GetFixedColumnWidth();
        if (left < scrollX_)
            scrollX_ = left;
        else if (right > scrollX_ + span)
            scrollX_ = std::min(left, right - span);
    }
    ClampScroll();
    if (scrollX_ != oldX || scrollY_ != oldY) NotifyLayout();
}

GridRect CGridCtrl::GetCellRect(int row, int col) const {
    if (!IsValid(row, col)) return {};
    int x, y;
    if (col < fixedCols_) {
        x = std::accumulate(colWidths_.begin(), colWidths_.begin() + col, 0);
    } else {
        x = GetFixedColumnWidth() - scrollX_ +
            std::accumulate(colWidths_.begin() + fixedCols_, colWidths_.begin() + col, 0);
    }
    if (row < fixedRows_) {
        y = std::accumulate(rowHeights_.begin(), rowHeights_.begin() + row, 0);
    } else {
        y = GetFixedRowHeight() - scrollY_ +
            std::accumulate(rowHeights_.begin() + fixedRows_, rowHeights_.begin() + row, 0);
    }
    return {x, y, x + colWidths_[col], y + rowHeights_[row]};
}

CCellID CGridCtrl::CellAt(int x, int y) const {
    if (x < 0 || y < 0) return {};
    auto find = [](const std::vector<int>& sizes, int fixed, int scroll, int pos) {
        const int fixedSize = std::accumulate(sizes.begin(), sizes.begin() + fixed, 0);
        int first = 0, at = pos;
        if (pos >= fixedSize) {
            first = fixed;
            at = pos - fixedSize + scroll;
        }
        const int last = pos >= fixedSize ? static_cast<int>(sizes.size()) : fixed;
        for (int i = first, edge = 0; i < last; ++i) {
            edge += sizes[i];
            if (at < edge) return i;
        }
        return -1;
    };
    const int col = find(colWidths_, fixedCols_, scrollX_, x);
    const int row = find(rowHeights_, fixedRows_, scrollY_, y);
    if (row < 0 || col < 0) return {};
    return {row, col};
}

void CGridCtrl::SetTextMeasure(std::function<GridSize(const std::string&)> measure) {
    measure_ = std::move(measure);
    if (fitted_) FitToContents();
}

GridSize CGridCtrl::MeasureText(const std::string& text) const {
    return measure_ ? measure_(text) : EstimateText(text);
}

int CGridCtrl::DefaultRowHeight() const {
    return MeasureText("Hg").height + 2 * kDefaultMargin;
}

int CGridCtrl::VisibleScrollRows() const {
    const int span = clientHeight_ - GetFixedRowHeight();
    if (clientHeight_ <= 0) return rows_;  // no view: everything counts as one page
    int n = 0, used = 0;
    for (int r = fixedRows_; r < rows_; ++r) {
        used += rowHeights_[r];
        if (used > span) break;
        ++n;
    }
    return std::max(n, 1);
}

// ---- user actions ----

CCellID CGridCtrl::NextCell(int key, bool shift, bool ctrl) {
    CCellID next = focus_;
    const int lastRow = rows_ - 1, lastCol = cols_ - 1;
    switch (key) {
        case kKeyDown:
            if (next.row < lastRow) ++next.row;
            break;
        case kKeyUp:
            if (next.row > fixedRows_) --next.row;
            break;
        case kKeyRight:
            if (next.col < lastCol) ++next.col;
            break;
        case kKeyLeft:
            if (next.col > fixedCols_) --next.col;
            break;
        case kKeyTab:
            if (shift) {
                if (next.col > fixedCols_) {
                    --next.col;
                } else if (next.row > fixedRows_) {
                    --next.row;
                    next.col = lastCol;
                }
            } else {
                if (next.col < lastCol) {
                    ++next.col;
                } else if (next.row < lastRow) {
                    ++next.row;
                    next.col = fixedCols_;
                }
            }
            break;
        case kKeyPageDown:
            next.row = std::min(next.row + VisibleScrollRows(), lastRow);
            break;
        case kKeyPageUp:
            next.row = std::max(next.row - VisibleScrollRows(), fixedRows_);
            break;
        case kKeyHome:
            if (ctrl) next.row = fixedRows_;
            next.col = fixedCols_;
            break;
        case kKeyEnd:
            if (ctrl) next.row = lastRow;
            next.col = lastCol;
            break;
        default:
            break;
    }
    return next;
}

void CGridCtrl::MoveFocus(const CCellID& next, bool extend, bool ctrl) {
    if (!IsValid(next.row, next.col)) return;
    SetFocusCell(next.row, next.col);
    if (extend) {
        SelectRangeFromAnchor(next, false);
    } else {
        anchor_ = next;
        SetSelectedRange({next.row, next.col, next.row, next.col}, ctrl);
    }
    EnsureVisible(next.row, next.col);
}

void CGridCtrl::KeyDown(int key, bool shift, bool ctrl) {
    if (editor_) {
        editor_->KeyDown(key, shift, ctrl);
        return;
    }
    if (!IsEnabled()) return;
    if (ctrl) {
        switch (key) {
            case 'C':
            case 'c':
            case kKeyInsert:
                Copy();
                return;
            case 'X':
            case 'x':
                Cut();
                return;
            case 'V':
            case 'v':
                Paste();
                return;
            case 'A':
            case 'a':
                SelectAll();
                return;
            default:
                break;
        }
    }
    switch (key) {
        case kKeyDelete:
            if (shift)
                Cut();
            else
                DeleteFocused();
            return;
        case kKeyInsert:
            if (shift) Paste();
            return;
        case kKeyF2:
            if (!ctrl) StartEdit(focus_.row, focus_.col, kKeyStart);
            return;
        case kKeyEnter:
        case kKeyBackspace:
            if (!ctrl) StartEdit(focus_.row, focus_.col, key);
            return;
        default:
            break;
    }
    if (!IsMoveKey(key)) return;
    if (!focus_.IsValid()) {
        // Nothing focused yet: the keyboard starts at the first ordinary cell.
        if (IsValid(fixedRows_, fixedCols_)) {
            MoveFocus({fixedRows_, fixedCols_}, false, false);
        } else if (key == kKeyTab) {
            TabOut(!shift);
        }
        return;
    }
    const CCellID next = NextCell(key, shift, ctrl);
    if (next == focus_) {
        // From the last cell (the first, backwards) Tab goes on, so the keyboard is never
        // caught in the grid.
        if (key == kKeyTab) TabOut(!shift);
        return;
    }
    MoveFocus(next, shift && key != kKeyTab && cellSelection_, false);
}

void CGridCtrl::TabOut(bool forward) {
    if (listener_) listener_->GridTabOut(forward);
}

void CGridCtrl::Char(unsigned char c, bool ctrl) {
    if (editor_) {
        if (!ctrl) editor_->Char(c);
        return;
    }
    if (!IsEnabled() || ctrl || c < 0x20) return;
    StartEdit(focus_.row, focus_.col, c);
}

void CGridCtrl::MouseDown(int row, int col, bool shift, bool ctrl) {
    if (!IsEnabled()) return;
    if (editor_) EndEditing();
    mouseMode_ = MouseMode::None;
    mouseDownCell_ = {row, col};
    if (!IsValid(row, col)) return;
    if (row < fixedRows_ || col < fixedCols_) {
        // A header selects what it heads: the corner all cells, a header row its column, a
        // header column its row.
        if (!cellSelection_ || rows_ <= fixedRows_ || cols_ <= fixedCols_) return;
        if (row < fixedRows_ && col < fixedCols_) {
            SelectAll();
            return;
        }
        CCellID target = focus_;
        CCellRange range;
        if (row < fixedRows_) {
            target = {focus_.IsValid() ? focus_.row : fixedRows_, col};
            range = {fixedRows_, col, rows_ - 1, col};
        } else {
            target = {row, focus_.IsValid() ? focus_.col : fixedCols_};
            range = {row, fixedCols_, row, cols_ - 1};
        }
        SetFocusCell(target.row, target.col);
        anchor_ = target;
        SetSelectedRange(range, ctrl);
        return;
    }
    const CCellID cell{row, col};
    if (cell == focus_ && !ctrl && !shift && IsCellEditable(row, col)) {
        mouseMode_ = MouseMode::PrepareEdit;
        return;
    }
    if (IsCellSelected(row, col) && !ctrl && !shift && dragAndDrop_) {
        mouseMode_ = MouseMode::PrepareDrag;
        return;
    }
    mouseMode_ = MouseMode::Selecting;
    SetFocusCell(row, col);
    if (shift && cellSelection_) {
        SelectRangeFromAnchor(cell, false);
    } else if (ctrl) {
        anchor_ = cell;
        SelectCell(row, col, !IsCellSelected(row, col));
        NotifyRepaint();
    } else {
        anchor_ = cell;
        SetSelectedRange({row, col, row, col});
    }
    EnsureVisible(row, col);
}

void CGridCtrl::MouseMove(int row, int col) {
    if (mouseMode_ != MouseMode::Selecting || !IsValid(row, col) || IsCellFixed(row, col)) return;
    if (CCellID{row, col} == focus_) return;
    SetFocusCell(row, col);
    SelectRangeFromAnchor({row, col}, false);
    EnsureVisible(row, col);
}

void CGridCtrl::MouseUp(int row, int col) {
    const MouseMode mode = mouseMode_;
    mouseMode_ = MouseMode::None;
    const CCellID cell{row, col};
    if (!(cell == mouseDownCell_) || !IsValid(row, col)) return;
    if (mode == MouseMode::PrepareEdit) {
        StartEdit(row, col, kKeyStart);
    } else if (mode == MouseMode::PrepareDrag) {
        // A click on a selected cell that did not turn into a drag selects just that cell.
        SetFocusCell(row, col);
        anchor_ = cell;
        SetSelectedRange({row, col, row, col});
    }
}

void CGridCtrl::DoubleClick(int row, int col) {
    if (!IsEnabled() || !IsCellEditable(row, col)) return;
    mouseMode_ = MouseMode::None;
    if (!(focus_ == CCellID{row, col})) MoveFocus({row, col}, false, false);
    StartEdit(row, col, kKeyStart);
}

std::string CGridCtrl::BeginDrag() {
    if (!dragAndDrop_ || editor_ ||
        (mouseMode_ != MouseMode::PrepareEdit && mouseMode_ != MouseMode::PrepareDrag) ||
        GetSelectedCount() == 0) {
        return {};
    }
    mouseMode_ = MouseMode::Dragging;
    dragging_ = true;
    return SelectedText();
}

void CGridCtrl::EndDrag(bool moved) {
    const bool wasDragging = dragging_;
    dragging_ = false;
    mouseMode_ = MouseMode::None;
    DragOver(-1, -1);
    if (!wasDragging || !moved || !editable_) return;
    // A source cell that may not be empty (a route) keeps its text: for it the move is a copy,
    // and no message says so.
    SilentUiHost quiet;
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            CGridCellBase* cell = cells_[r][c].get();
            if (cell->IsSelected() && cell->CheckEntry(quiet, {})) ModifyCellText(r, c, {});
        }
    }
    UserChanged();
}

bool CGridCtrl::CanDrop(int row, int col) const {
    // Dropping onto the dragged cells themselves would be undone by the move that follows.
    return dragAndDrop_ && IsCellEditable(row, col) && !(dragging_ && IsCellSelected(row, col));
}

void CGridCtrl::DragOver(int row, int col) {
    const CCellID target = CanDrop(row, col) ? CCellID{row, col} : CCellID{};
    if (target == dropTarget_) return;
    if (CGridCellBase* old = GetCell(dropTarget_.row, dropTarget_.col)) {
        old->SetState(old->GetState() & ~GridState::kDropHighlighted);
        NotifyCell(dropTarget_.row, dropTarget_.col);
    }
    dropTarget_ = target;
    if (CGridCellBase* cell = GetCell(target.row, target.col)) {
        cell->SetState(cell->GetState() | GridState::kDropHighlighted);
        NotifyCell(target.row, target.col);
    }
}

bool CGridCtrl::Drop(int row, int col, const std::string& text) {
    DragOver(-1, -1);
    if (!CanDrop(row, col) || !PasteTextAt(row, col, text, true)) return false;
    UserChanged();
    return true;
}

std::string CGridCtrl::SelectedText() const {
    const CCellRange range = GetSelectedRange();
    std::string text;
    if (!range.IsValid()) return text;
    for (int r = range.minRow; r <= range.maxRow; ++r) {
        for (int c = range.minCol; c <= range.maxCol; ++c) {
            if (cells_[r][c]->IsSelected()) text += cells_[r][c]->GetText();
            if (c != range.maxCol) text += '\t';
        }
        if (r != range.maxRow) text += "\r\n";
    }
    return text;
}

void CGridCtrl::Copy() {
    if (GetSelectedCount() == 0) return;
    ui_.SetClipboardText(SelectedText());
}

void CGridCtrl::Cut() {
    if (!editable_ || GetSelectedCount() == 0) return;
    Copy();
    ClearSelectedCells();
    UserChanged();
}

void CGridCtrl::Paste() {
    if (!editable_) return;
    CCellID at = focus_;
    if (!at.IsValid()) at = {fixedRows_, fixedCols_};
    if (!IsValid(at.row, at.col)) return;
    const std::string text = ui_.ClipboardText();
    if (text.empty()) return;
    PasteTextAt(at.row, at.col, text, false);
    UserChanged();
}

void CGridCtrl::DeleteFocused() {
    if (!IsCellEditable(focus_.row, focus_.col)) return;
    ModifyCellText(focus_.row, focus_.col, {});
    UserChanged();
}

void CGridCtrl::ClearSelectedCells() {
    std::vector<CCellID> selected;
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cols_; ++c) {
            if (cells_[r][c]->IsSelected()) selected.push_back({r, c});
        }
    }
    for (const CCellID& id : selected)
        ModifyCellText(id.row, id.col, {});
}

bool CGridCtrl::PasteTextAt(int row, int col, const std::string& text, bool whole) {
    // Lines by LF (a CR before it is dropped), cells by tab; a final line break ends the
    // last line rather than starting an empty one.
    std::vector<std::vector<std::string>> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        size_t f = 0;
        while (true) {
            const size_t tab = line.find('\t', f);
            fields.push_back(
                line.substr(f, tab == std::string::npos ? std::string::npos : tab - f));
            if (tab == std::string::npos) break;
            f = tab + 1;
        }
        lines.push_back(std::move(fields));
        if (eol == text.size()) break;
        pos = eol + 1;
        if (pos == text.size()) break;
    }
    auto forEachCell = [&](auto&& visit) {
        for (size_t i = 0; i < lines.size(); ++i) {
            for (size_t j = 0; j < lines[i].size(); ++j) {
                const int r = row + static_cast<int>(i), c = col + static_cast<int>(j);
                if (!visit(r, c, lines[i][j])) return false;
            }
        }
        return true;
    };
    // A whole block must fit: a part past the grid's last row or column would be lost.
    if (whole && !forEachCell([this](int r, int c, const std::string& part) {
            return IsValid(r, c) && (!IsCellEditable(r, c) || GetCellText(r, c) == part ||
                                     CheckCellText(r, c, part));
        })) {
        return false;
    }
    forEachCell([this](int r, int c, const std::string& part) {
        if (!IsValid(r, c)) return true;
        ModifyCellText(r, c, part);
        // A pasted cell is no longer part of a selection that a move would clear.
        SelectCell(r, c, false);
        return true;
    });
    NotifyRepaint();
    return true;
}

bool CGridCtrl::ModifyCellText(int row, int col, const std::string& text) {
    if (!IsCellEditable(row, col)) return false;
    if (onEditStarting && !onEditStarting(row, col)) return false;
    CGridCellBase* cell = GetCell(row, col);
    const std::string old = cell->GetText();
    if (old == text) return true;
    cell->SetText(text);
    if (CheckCellText(row, col, text) && (!onEditEnded || onEditEnded(row, col, text, kKeyNone))) {
        MarkModified(true, row, col);
        RepaintCell(row, col);
        return true;
    }
    if (CGridCellBase* still = GetCell(row, col)) still->SetText(old);
    RepaintCell(row, col);
    return false;
}

// ---- editing ----

bool CGridCtrl::StartEdit(int row, int col, int firstKey) {
    if (editor_ || !IsEnabled() || !(focus_ == CCellID{row, col}) || !IsCellEditable(row, col)) {
        return false;
    }
    EnsureVisible(row, col);
    return cells_[row][col]->OpenEditor(*this, row, col, GetCellRect(row, col), kInPlaceEditorId,
                                        firstKey);
}

CInPlaceEditor* CGridCtrl::CreateEditor(int row, int col, const GridRect& rect, unsigned id,
                                        const std::string& text, uint32_t format, int firstKey) {
    editor_ = std::make_unique<CInPlaceEditor>(*this, row, col, rect, id, text, format, firstKey);
    if (listener_) listener_->GridEditorOpened(*editor_);
    return editor_.get();
}

void CGridCtrl::EndEditing() {
    if (editor_) editor_->KillFocus();
}

bool CGridCtrl::CommitEdit() {
    if (!editor_) return true;
    CInPlaceEditor& editor = *editor_;
    if (editor.Text() != GetCellText(editor.Row(), editor.Column())) {
        // The refusal's message box must not end the edit by taking the focus.
        committing_ = true;
        const bool accepted = CheckCellText(editor.Row(), editor.Column(), editor.Text());
        committing_ = false;
        if (!accepted) {
            if (listener_) listener_->GridEditorFocus(editor);
            return false;
        }
    }
    editor.End(kKeyEnter, false);
    return true;
}

void CGridCtrl::EditorEnded(CInPlaceEditor& editor) {
    if (editor_.get() != &editor) return;
    const int row = editor.Row(), col = editor.Column(), key = editor.LastKey();
    const bool shift = editor.lastShift_;
    const std::string text = editor.Text();
    // Retired before any message can be shown, so that nothing reaches it again; it stays alive
    // until the next edit ends because its caller is still running.
    retired_ = std::move(editor_);
    if (listener_) listener_->GridEditorClosed(editor);

    if (CGridCellBase* cell = GetCell(row, col)) {
        const std::string old = cell->GetText();
        if (old != text) {
            cell->SetText(text);
            if (CheckCellText(row, col, text) &&
                (!onEditEnded || onEditEnded(row, col, text, key))) {
                MarkModified(true, row, col);
            } else if (CGridCellBase* still = GetCell(row, col)) {
                still->SetText(old);
            }
            RepaintCell(row, col);
        }
        if (CGridCellBase* still = GetCell(row, col)) still->EndEdit();
    }
    bool tabOut = false;
    if (IsMoveKey(key) && focus_.IsValid()) {
        const CCellID next = NextCell(key, shift, false);
        const bool moves = !(next == focus_);
        if (moves) MoveFocus(next, false, false);
        // Tab from the last cell (Shift+Tab from the first) leaves the grid, as without an edit.
        if (key == kKeyTab && !moves)
            tabOut = true;
        else
            StartEdit(focus_.row, focus_.col, key);
    }
    UserChanged();
    if (tabOut) TabOut(!shift);
}

// ---- notifications ----

void CGridCtrl::NotifyLayout() {
    if (listener_) listener_->GridLayoutChanged();
    Changed();
}

void CGridCtrl::NotifyRepaint() {
    if (listener_) listener_->GridRepaint();
}

void CGridCtrl::NotifyCell(int row, int col) {
    if (listener_) listener_->GridCellChanged(row, col);
}

void CGridCtrl::UserChanged() {
    if (onUserChange) onUserChange();
}
