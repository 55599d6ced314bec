#include "gui/grid_view.h"

#include <cmath>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include "gui/control_binding.h"
#include "gui/grid_accessible.h"

// The in-place editor's field. It types for itself; the keys that end an edit or move the
// caret by the model's rules go to the model's editor instead, and so does every text that
// comes from outside (clipboard, selection, drop), which the editor makes single-line.
class GridEditField : public QLineEdit {
public:
    GridEditField(GridView& view, QWidget* parent) : QLineEdit(parent), view_(view) {}
    void Detach() { attached_ = false; }

protected:
    CInPlaceEditor* Editor() const { return attached_ ? view_.editor_ : nullptr; }

    // Puts text from outside in at character position pos.
    void InsertAt(int pos, const QString& text) {
        CInPlaceEditor* ed = Editor();
        if (!ed) return;
        ed->SetSel(pos, pos);
        ed->InsertText(ToLatin1(text));
    }

    bool event(QEvent* e) override {
        // Ctrl+Page Up and Ctrl+Page Down end the edit and move in the grid; elsewhere they
        // switch tabs.
        if (e->type() == QEvent::ShortcutOverride && Editor()) {
            auto* k = static_cast<QKeyEvent*>(e);
            if ((k->modifiers() & Qt::ControlModifier) &&
                (k->key() == Qt::Key_PageUp || k->key() == Qt::Key_PageDown)) {
                e->accept();
                return true;
            }
        }
        // Tab would move the focus before keyPressEvent saw it.
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
                !(k->modifiers() & Qt::ControlModifier)) {
                keyPressEvent(k);
                return true;
            }
        }
        return QLineEdit::event(e);
    }

    void keyPressEvent(QKeyEvent* e) override {
        CInPlaceEditor* ed = Editor();
        if (!ed) {
            QLineEdit::keyPressEvent(e);
            return;
        }
        const bool shift = e->modifiers() & Qt::ShiftModifier;
        const bool ctrl = e->modifiers() & Qt::ControlModifier;
        if (e->matches(QKeySequence::Paste) || (shift && !ctrl && e->key() == Qt::Key_Insert)) {
            e->accept();
            ed->Paste();
            return;
        }
        int key = kKeyNone;
        switch (e->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: key = kKeyEnter; break;
            case Qt::Key_Escape: key = kKeyEscape; break;
            case Qt::Key_Tab: key = kKeyTab; break;
            case Qt::Key_Backtab: key = kKeyTab; break;
            case Qt::Key_Up: key = kKeyUp; break;
            case Qt::Key_Down: key = kKeyDown; break;
            case Qt::Key_PageUp: key = kKeyPageUp; break;
            case Qt::Key_PageDown: key = kKeyPageDown; break;
            default: break;
        }
        if (key == kKeyNone) {
            QLineEdit::keyPressEvent(e);
            return;
        }
        e->accept();
        ed->KeyDown(key, shift || e->key() == Qt::Key_Backtab, ctrl);
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        // The middle button pastes the selection where it is released.
        if (e->button() == Qt::MiddleButton && Editor()) {
            e->accept();
            QClipboard* clipboard = QGuiApplication::clipboard();
            if (clipboard->supportsSelection()) {
                InsertAt(cursorPositionAt(e->position().toPoint()),
                         clipboard->text(QClipboard::Selection));
            }
            return;
        }
        QLineEdit::mouseReleaseEvent(e);
    }

    void dropEvent(QDropEvent* e) override {
        // A drag of the field's own selection only moves what the field already holds.
        if (Editor() && e->source() != this && e->mimeData()->hasText()) {
            InsertAt(cursorPositionAt(e->position().toPoint()), e->mimeData()->text());
            e->acceptProposedAction();
            setFocus(Qt::MouseFocusReason);
            return;
        }
        QLineEdit::dropEvent(e);
    }

    void focusOutEvent(QFocusEvent* e) override {
        QLineEdit::focusOutEvent(e);
        // A context menu of the field's own is no end of the edit.
        if (e->reason() == Qt::PopupFocusReason || !attached_) return;
        // The edit ends once the focus has settled, so that a refusal's message box does not
        // take the focus from a widget that is still receiving it.
        QPointer<GridEditField> self(this);
        GridView* view = &view_;
        QTimer::singleShot(0, view, [self, view] {
            if (self && self->attached_ && !self->hasFocus() && view->editor_) {
                view->editor_->KillFocus();
            }
        });
    }

private:
    GridView& view_;
    bool attached_ = true;
};

namespace {

GridView::DragRunner& TheDragRunner() {
    static GridView::DragRunner runner;
    return runner;
}

QColor FromColour(uint32_t c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

Qt::Alignment AlignmentOf(uint32_t format) {
    Qt::Alignment a;
    switch (format & CellFormat::kHorizontalMask) {
        case CellFormat::kCenter: a = Qt::AlignHCenter; break;
        case CellFormat::kRight: a = Qt::AlignRight; break;
        default: a = Qt::AlignLeft; break;
    }
    a |= (format & CellFormat::kVCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    return a;
}

int GridKeyOf(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return kKeyEnter;
        case Qt::Key_Escape: return kKeyEscape;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return kKeyTab;
        case Qt::Key_Backspace: return kKeyBackspace;
        case Qt::Key_Delete: return kKeyDelete;
        case Qt::Key_Insert: return kKeyInsert;
        case Qt::Key_Up: return kKeyUp;
        case Qt::Key_Down: return kKeyDown;
        case Qt::Key_Left: return kKeyLeft;
        case Qt::Key_Right: return kKeyRight;
        case Qt::Key_PageUp: return kKeyPageUp;
        case Qt::Key_PageDown: return kKeyPageDown;
        case Qt::Key_Home: return kKeyHome;
        case Qt::Key_End: return kKeyEnd;
        case Qt::Key_F2: return kKeyF2;
        default: return kKeyNone;
    }
}

}  // namespace

void GridView::SetDragRunner(DragRunner runner) { TheDragRunner() = std::move(runner); }

GridView::GridView(CGridCtrl& model, QWidget* parent) : QAbstractScrollArea(parent), model_(model) {
    InstallGridAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setAcceptDrops(true);
    viewport()->setMouseTracking(false);
    setAcceptDrops(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    model_.SetListener(this);
    model_.SetViewListener([this] {
        setEnabled(model_.IsEnabled());
        setHidden(!model_.IsVisible());
    });
    model_.SetFocusListener([this] { setFocus(Qt::OtherFocusReason); });
    UpdateMeasure();
    model_.SetClientSize(viewport()->width(), viewport()->height());
    UpdateScrollBars();
}

GridView::~GridView() {
    // QWidget's destructor still sends accessibility events; its table interface must not outlive
    // the view it casts to.
    QAccessible::deleteAccessibleInterface(
        QAccessible::uniqueId(QAccessible::queryAccessibleInterface(this)));
    if (editor_) editor_->SetViewListener(nullptr);
    if (field_) field_->Detach();
    // Another view may have taken the model over since.
    if (model_.GetListener() != this) return;
    model_.SetListener(nullptr);
    model_.SetViewListener(nullptr);
    model_.SetFocusListener(nullptr);
    model_.SetTextMeasure(nullptr);
}

QLineEdit* GridView::EditField() const { return field_.data(); }

QRect GridView::CellRect(int row, int col) const {
    const GridRect r = model_.GetCellRect(row, col);
    return QRect(r.left, r.top, r.Width(), r.Height());
}

QSize GridView::sizeHint() const {
    const int f = 2 * frameWidth();
    return QSize(std::min(model_.GetVirtualWidth(), 600) + f,
                 std::min(model_.GetVirtualHeight(), 400) + f);
}

void GridView::UpdateMeasure() {
    model_.SetTextMeasure([this](const std::string& text) {
        // Whole pixels rounded up, or a text fitted to its width would be cut short.
        const QFontMetricsF fm(font());
        return GridSize{static_cast<int>(std::ceil(fm.horizontalAdvance(FromLatin1(text)))),
                        static_cast<int>(std::ceil(fm.height()))};
    });
}

void GridView::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) UpdateMeasure();
}

// ---- model to view ----

void GridView::UpdateScrollBars() {
    updatingBars_ = true;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, model_.GetMaxScrollX());
    h->setPageStep(std::max(1, viewport()->width() - model_.GetFixedColumnWidth()));
    h->setSingleStep(std::max(1, model_.MeasureText("0000").width));
    h->setValue(model_.GetScrollX());
    v->setRange(0, model_.GetMaxScrollY());
    v->setPageStep(std::max(1, viewport()->height() - model_.GetFixedRowHeight()));
    // A wheel notch scrolls the system's number of lines, each one row high.
    v->setSingleStep(std::max(1, model_.DefaultRowHeight()));
    v->setValue(model_.GetScrollY());
    updatingBars_ = false;
}

void GridView::GridLayoutChanged() {
    UpdateScrollBars();
    if (editor_ && field_) SyncField();
    viewport()->update();
    updateGeometry();
}

void GridView::GridRepaint() { viewport()->update(); }

void GridView::GridCellChanged(int row, int col) {
    viewport()->update(CellRect(row, col).adjusted(-1, -1, 1, 1));
    if (CCellID{row, col} == model_.GetFocusCell() && !(accessibleFocus_ == model_.GetFocusCell())) {
        NotifyAccessibleFocus();
    }
}

void GridView::GridEditorOpened(CInPlaceEditor& editor) {
    editor_ = &editor;
    auto* field = new GridEditField(*this, viewport());
    field_ = field;
    field->setFont(font());
    field->setFrame(true);
    field->setMaxLength(editor.Limit());
    field->setAccessibleName(CellAccessibleName(editor.Row(), editor.Column()));
    connect(field, &QLineEdit::textEdited, this, [this] { FieldEdited(); });
    connect(field, &QLineEdit::cursorPositionChanged, this, [this] { FieldSelectionMoved(); });
    connect(field, &QLineEdit::selectionChanged, this, [this] { FieldSelectionMoved(); });
    editor.SetViewListener([this] { SyncField(); });
    SyncField();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
}

void GridView::GridEditorClosed(CInPlaceEditor& editor) {
    if (&editor != editor_) return;
    editor.SetViewListener(nullptr);
    editor_ = nullptr;
    GridEditField* field = field_.data();
    field_.clear();
    if (!field) return;
    field->Detach();
    const bool hadFocus = field->hasFocus();
    if (hadFocus) setFocus(Qt::OtherFocusReason);
    field->hide();
    field->deleteLater();
    viewport()->update();
}

void GridView::SyncField() {
    if (!editor_ || !field_ || syncing_) return;
    syncing_ = true;
    const GridRect r = editor_->Rect();
    const QRect cell = CellRect(editor_->Row(), editor_->Column());
    field_->setGeometry(cell.left(), cell.top(), r.Width(), cell.height());
    field_->setAlignment(AlignmentOf(editor_->Alignment() | CellFormat::kVCenter));
    const QString text = FromLatin1(editor_->Text());
    if (field_->text() != text) field_->setText(text);
    const int anchor = editor_->Anchor(), caret = editor_->Caret();
    if (anchor == caret) {
        field_->setCursorPosition(caret);
    } else {
        field_->setSelection(anchor, caret - anchor);
    }
    syncing_ = false;
}

void GridView::FieldEdited() {
    if (!editor_ || !field_ || syncing_) return;
    syncing_ = true;
    const int caret = field_->cursorPosition();
    editor_->TextEdited(ToLatin1(field_->text()), caret, caret);
    syncing_ = false;
    SyncField();  // the editor may have grown
}

void GridView::FieldSelectionMoved() {
    if (!editor_ || !field_ || syncing_) return;
    syncing_ = true;
    const int caret = field_->cursorPosition();
    int anchor = caret;
    if (field_->hasSelectedText()) {
        const int start = field_->selectionStart();
        const int end = start + static_cast<int>(field_->selectedText().size());
        anchor = caret == start ? end : start;
    }
    editor_->SetSel(anchor, caret);
    syncing_ = false;
}

// ---- painting ----

void GridView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const int rows = model_.GetRowCount(), cols = model_.GetColumnCount();
    const int fr = model_.GetFixedRowCount(), fc = model_.GetFixedColumnCount();
    const int fw = model_.GetFixedColumnWidth(), fh = model_.GetFixedRowHeight();
    const int w = viewport()->width(), h = viewport()->height();
    p.fillRect(viewport()->rect(), palette().window());
    // Scrolling cells first, then the headers over them, each part clipped to its own area.
    struct Part {
        int r0, r1, c0, c1;
        QRect clip;
    };
    const Part parts[] = {
        {fr, rows, fc, cols, QRect(fw, fh, w - fw, h - fh)},
        {0, fr, fc, cols, QRect(fw, 0, w - fw, fh)},
        {fr, rows, 0, fc, QRect(0, fh, fw, h - fh)},
        {0, fr, 0, fc, QRect(0, 0, fw, fh)},
    };
    for (const Part& part : parts) {
        if (part.clip.isEmpty()) continue;
        p.save();
        p.setClipRect(part.clip);
        for (int r = part.r0; r < part.r1; ++r) {
            const QRect rowRect = CellRect(r, part.c0 < cols ? part.c0 : 0);
            if (rowRect.top() >= h) break;
            if (rowRect.bottom() < 0 || rowRect.height() <= 0) continue;
            for (int c = part.c0; c < part.c1; ++c) {
                const QRect cr = CellRect(r, c);
                if (cr.left() >= w) break;
                if (cr.right() < 0 || cr.width() <= 0) continue;
                PaintCell(p, r, c);
            }
        }
        p.restore();
    }
}

void GridView::PaintCell(QPainter& p, int row, int col) {
    const CGridCellBase* cell = model_.GetCell(row, col);
    if (!cell) return;
    const QRect r = CellRect(row, col);
    const bool fixed = model_.IsCellFixed(row, col);
    const CGridDefaultCell& def = model_.GetDefaultCell(fixed);
    const uint32_t state = cell->GetState();
    const QPalette& pal = palette();

    QColor back = fixed ? pal.color(QPalette::Button) : pal.color(QPalette::Base);
    QColor fore = fixed ? pal.color(QPalette::ButtonText) : pal.color(QPalette::Text);
    const uint32_t bk = cell->GetBackColour() != kDefaultColour ? cell->GetBackColour()
                                                                : def.GetBackColour();
    const uint32_t fg = cell->GetTextColour() != kDefaultColour ? cell->GetTextColour()
                                                                : def.GetTextColour();
    if (bk != kDefaultColour) back = FromColour(bk);
    if (fg != kDefaultColour) fore = FromColour(fg);
    if (!fixed && (state & GridState::kSelected)) {
        back = pal.color(hasFocus() || field_ ? QPalette::Active : QPalette::Inactive,
                         QPalette::Highlight);
        fore = pal.color(QPalette::HighlightedText);
    }
    if (state & GridState::kDropHighlighted) {
        back = pal.color(QPalette::Highlight).lighter(150);
        fore = pal.color(QPalette::Text);
    }
    p.fillRect(r, back);

    // Grid lines; header cells get a raised edge like buttons.
    if (fixed) {
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    } else {
        p.setPen(pal.color(QPalette::Midlight));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }

    if (!(editor_ && editor_->Row() == row && editor_->Column() == col)) {
        QFont f = font();
        if (const auto& cf = cell->GetFont()) {
            if (!cf->family.empty()) f.setFamily(FromLatin1(cf->family));
            if (cf->pointSize > 0) f.setPointSize(cf->pointSize);
            f.setBold(cf->bold);
            f.setItalic(cf->italic);
        }
        p.setFont(f);
        p.setPen(fore);
        int margin = cell->GetMargin();
        if (margin < 0) margin = def.GetMargin();
        const QRect textRect = r.adjusted(margin, 0, -margin, 0);
        const uint32_t format = cell->GetFormat();
        QString text = FromLatin1(cell->GetText());
        if (format & CellFormat::kEndEllipsis) {
            text = QFontMetrics(f).elidedText(text, Qt::ElideRight, textRect.width());
        }
        int flags = static_cast<int>(AlignmentOf(format));
        if (format & CellFormat::kSingleLine) flags |= Qt::TextSingleLine;
        p.drawText(textRect, flags, text);
    }

    if ((state & GridState::kFocused) && hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = r.adjusted(1, 1, -1, -1);
        opt.backgroundColor = back;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

// ---- input ----

bool GridView::event(QEvent* e) {
    // The grid moves between its cells by Tab; the model says when Tab leaves it (GridTabOut).
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & Qt::ControlModifier)) {
            keyPressEvent(k);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void GridView::GridTabOut(bool forward) { focusNextPrevChild(forward); }

void GridView::GridEditorFocus(CInPlaceEditor& editor) {
    if (&editor == editor_ && field_) field_->setFocus(Qt::OtherFocusReason);
}

bool GridView::HandleGridKey(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    if (e->matches(QKeySequence::Copy) || (ctrl && e->key() == Qt::Key_Insert)) {
        model_.Copy();
        return true;
    }
    if (e->matches(QKeySequence::Cut) || (shift && !ctrl && e->key() == Qt::Key_Delete)) {
        model_.Cut();
        return true;
    }
    if (e->matches(QKeySequence::Paste) || (shift && !ctrl && e->key() == Qt::Key_Insert)) {
        model_.Paste();
        return true;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        model_.SelectAll();
        return true;
    }
    const int key = GridKeyOf(e);
    if (key != kKeyNone) {
        model_.KeyDown(key, shift || e->key() == Qt::Key_Backtab, ctrl);
        return true;
    }
    const QString text = e->text();
    if (!ctrl && !(mods & Qt::AltModifier) && text.size() == 1) {
        const char16_t c = text.at(0).unicode();
        if (c >= 0x20 && c != 0x7F && c <= 0xFF) {
            model_.Char(static_cast<unsigned char>(c), false);
            return true;
        }
    }
    return false;
}

void GridView::keyPressEvent(QKeyEvent* e) {
    if (HandleGridKey(e)) {
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void GridView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    model_.SetClientSize(viewport()->width(), viewport()->height());
    UpdateScrollBars();
}

void GridView::scrollContentsBy(int, int) {
    if (updatingBars_) return;
    // Scrolling by the user ends an open edit, as a click elsewhere would.
    if (editor_) model_.EndEditing();
    model_.SetScrollPos(horizontalScrollBar()->value(), verticalScrollBar()->value());
    viewport()->update();
}

CCellID GridView::CellAtPoint(const QPoint& pos, bool clampToViewport) const {
    QPoint p = pos;
    if (clampToViewport) {
        p.setX(std::clamp(p.x(), 0, std::max(0, viewport()->width() - 1)));
        p.setY(std::clamp(p.y(), 0, std::max(0, viewport()->height() - 1)));
    }
    return model_.CellAt(p.x(), p.y());
}

void GridView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    pressPos_ = e->position().toPoint();
    const CCellID cell = CellAtPoint(pressPos_, false);
    const Qt::KeyboardModifiers mods = e->modifiers();
    model_.MouseDown(cell.row, cell.col, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
}

void GridView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const QPoint pos = e->position().toPoint();
    const CGridCtrl::MouseMode mode = model_.GetMouseMode();
    if (mode == CGridCtrl::MouseMode::PrepareEdit || mode == CGridCtrl::MouseMode::PrepareDrag) {
        if ((pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
        const std::string text = model_.BeginDrag();
        if (text.empty() && model_.GetMouseMode() != CGridCtrl::MouseMode::Dragging) return;
        auto* mime = new QMimeData;
        mime->setText(FromLatin1(text));
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        const Qt::DropActions supported = Qt::CopyAction | Qt::MoveAction;
        Qt::DropAction done;
        if (const DragRunner& runner = TheDragRunner()) {
            done = runner(*drag, supported, Qt::MoveAction);
            drag->deleteLater();
        } else {
            done = drag->exec(supported, Qt::MoveAction);
        }
        model_.EndDrag(done == Qt::MoveAction);
        return;
    }
    if (mode == CGridCtrl::MouseMode::Selecting) {
        const CCellID cell = CellAtPoint(pos, true);
        model_.MouseMove(cell.row, cell.col);
    }
}

void GridView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    const CCellID cell = CellAtPoint(e->position().toPoint(), false);
    model_.MouseUp(cell.row, cell.col);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const CCellID cell = CellAtPoint(e->position().toPoint(), false);
    model_.DoubleClick(cell.row, cell.col);
}

void GridView::dragEnterEvent(QDragEnterEvent* e) {
    if (model_.IsDragAndDrop() && e->mimeData()->hasText()) {
        e->acceptProposedAction();
    } else {
        e->ignore();
    }
}

void GridView::dragMoveEvent(QDragMoveEvent* e) {
    const CCellID cell = CellAtPoint(e->position().toPoint(), false);
    if (e->mimeData()->hasText() && model_.CanDrop(cell.row, cell.col)) {
        model_.DragOver(cell.row, cell.col);
        e->acceptProposedAction();
    } else {
        model_.DragOver(-1, -1);
        e->ignore();
    }
}

void GridView::dragLeaveEvent(QDragLeaveEvent*) { model_.DragOver(-1, -1); }

void GridView::dropEvent(QDropEvent* e) {
    const CCellID cell = CellAtPoint(e->position().toPoint(), false);
    if (e->mimeData()->hasText() &&
        model_.Drop(cell.row, cell.col, ToLatin1(e->mimeData()->text()))) {
        e->acceptProposedAction();
    } else {
        e->ignore();
    }
}

void GridView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
    NotifyAccessibleFocus();
}

void GridView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

// ---- accessibility ----

QString GridView::CellAccessibleName(int row, int col) const {
    if (!model_.IsValid(row, col)) return {};
    const QString text = FromLatin1(model_.GetCellText(row, col));
    if (model_.IsCellFixed(row, col)) return text;
    QStringList headers;
    QStringList rowHeads;
    for (int c = 0; c < model_.GetFixedColumnCount(); ++c) {
        const QString t = FromLatin1(model_.GetCellText(row, c));
        if (!t.isEmpty()) rowHeads << t;
    }
    if (!rowHeads.isEmpty()) headers << rowHeads.join(' ');
    QStringList colHeads;
    for (int r = 0; r < model_.GetFixedRowCount(); ++r) {
        const QString t = FromLatin1(model_.GetCellText(r, col));
        if (!t.isEmpty()) colHeads << t;
    }
    if (!colHeads.isEmpty()) headers << colHeads.join(' ');
    QString name = headers.join(", ");
    if (!text.isEmpty()) name += name.isEmpty() ? text : ": " + text;
    return name;
}

void GridView::NotifyAccessibleFocus() {
    if (!QAccessible::isActive() || !hasFocus()) return;
    const CCellID f = model_.GetFocusCell();
    if (!f.IsValid()) return;
    accessibleFocus_ = f;
    QAccessibleEvent ev(this, QAccessible::Focus);
    ev.setChild(f.row * model_.GetColumnCount() + f.col);
    QAccessible::updateAccessibility(&ev);
}
