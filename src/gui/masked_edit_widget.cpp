#include "gui/masked_edit_widget.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include "controls/ip_addr_edit.h"
#include "controls/masked_edit.h"

MaskedEditWidget* MaskedEditWidget::reclaiming_ = nullptr;

MaskedEditWidget::MaskedEditWidget(CMaskedEdit& model, QWidget* parent)
    : QLineEdit(parent), model_(model) {
    // Every change of the text goes through the model: no drops, no input-method editing.
    setAcceptDrops(false);
    setDragEnabled(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    model_.SetViewListener([this] { Refresh(); });
    model_.SetFocusListener([this] { ReclaimFocus(); });
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] { SyncSelectionFromView(); });
    connect(this, &QLineEdit::selectionChanged, this, [this] { SyncSelectionFromView(); });
    Refresh();
}

MaskedEditWidget::~MaskedEditWidget() {
    model_.SetViewListener({});
    model_.SetFocusListener({});
    if (reclaiming_ == this)
        reclaiming_ = nullptr;
}

bool MaskedEditWidget::GetAddress(uint8_t* octets) {
    auto* ip = dynamic_cast<CIPAddrEdit*>(&model_);
    return ip != nullptr && ip->GetAddress(octets);
}

bool MaskedEditWidget::SetAddress(const uint8_t* octets) {
    auto* ip = dynamic_cast<CIPAddrEdit*>(&model_);
    if (ip == nullptr || octets == nullptr)
        return false;
    ip->SetAddress(octets);
    return true;
}

void MaskedEditWidget::Refresh() {
    if (updating_)
        return;
    updating_ = true;
    // The module's texts are 8-bit; Latin-1 at this edge only.
    const QString t = QString::fromLatin1(model_.GetText());
    if (text() != t)
        setText(t);
    if (isReadOnly() != model_.IsReadOnly())
        setReadOnly(model_.IsReadOnly());
    // Only the model's own changes: a parent's state is the parent's business.
    if (shownEnabled_ != model_.IsEnabled())
        setEnabled(shownEnabled_ = model_.IsEnabled());
    if (shownVisible_ != model_.IsVisible())
        setVisible(shownVisible_ = model_.IsVisible());
    const EchoMode echo = model_.IsPassword() ? Password : Normal;
    if (echoMode() != echo) {
        setEchoMode(echo);
        setStyleSheet(model_.IsPassword() ? "lineedit-password-character: 42;" : "");
    }
    const int anchor = model_.Anchor(), caret = model_.Caret();
    if (anchor == caret) {
        if (hasSelectedText())
            deselect();
        setCursorPosition(caret);
    } else {
        setSelection(anchor, caret - anchor);
    }
    updating_ = false;
}

void MaskedEditWidget::SyncSelectionFromView() {
    if (updating_)
        return;
    const int caret = cursorPosition();
    int anchor = caret;
    if (hasSelectedText()) {
        const int start = selectionStart(), end = selectionEnd();
        anchor = caret == start ? end : start;
    }
    if (anchor == model_.Anchor() && caret == model_.Caret())
        return;
    updating_ = true;
    model_.SetSel(anchor, caret);
    updating_ = false;
}

void MaskedEditWidget::TypeText(const QString& text) {
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u > 0xFF) {
            // Not representable in the module's 8-bit texts.
            if (model_.HasMask() && !model_.IsReadOnly())
                model_.SignalRejected();
            continue;
        }
        model_.Char(static_cast<char>(u));
    }
}

void MaskedEditWidget::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy))
        return model_.Copy();
    if (e->matches(QKeySequence::Cut))
        return model_.Cut();
    if (e->matches(QKeySequence::Paste))
        return model_.Paste();
    if (e->matches(QKeySequence::SelectAll))
        return model_.SelectAll();
    if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo))
        return;

    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    using Key = CMaskedEdit::Key;
    switch (e->key()) {
        case Qt::Key_Left:
            return model_.KeyDown(Key::Left, shift, ctrl);
        case Qt::Key_Right:
            return model_.KeyDown(Key::Right, shift, ctrl);
        case Qt::Key_Up:
            return model_.KeyDown(Key::Up, shift, ctrl);
        case Qt::Key_Down:
            return model_.KeyDown(Key::Down, shift, ctrl);
        case Qt::Key_Home:
            return model_.KeyDown(Key::Home, shift, ctrl);
        case Qt::Key_End:
            return model_.KeyDown(Key::End, shift, ctrl);
        case Qt::Key_Insert:
            return model_.KeyDown(Key::Insert, shift, ctrl);
        case Qt::Key_Delete:
            return model_.KeyDown(Key::Delete, shift, ctrl);
        case Qt::Key_Backspace:
            return model_.Char('\b');
        default:
            break;
    }
    const QString text = e->text();
    const bool printable = !text.isEmpty() && text.at(0).unicode() >= 32 &&
                           text.at(0).unicode() != 127 &&
                           !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (printable)
        return TypeText(text);
    // Enter, Escape, function keys: for the dialog.
    e->ignore();
}

void MaskedEditWidget::inputMethodEvent(QInputMethodEvent* e) {
    TypeText(e->commitString());
    e->accept();
}

void MaskedEditWidget::focusInEvent(QFocusEvent* e) {
    updating_ = true;
    QLineEdit::focusInEvent(e);
    updating_ = false;
    const Qt::FocusReason r = e->reason();
    if (r == Qt::MouseFocusReason) {
        // The press that gave the focus decides where the caret goes (MouseDown).
        clickFocus_ = true;
        QTimer::singleShot(0, this, [this] { FinishClickFocus(); });
        return;
    }
    // Focus by keyboard selects the whole text, as the platform edit control does.
    model_.SetFocus(r == Qt::TabFocusReason || r == Qt::BacktabFocusReason ||
                    r == Qt::ShortcutFocusReason);
    Refresh();
}

void MaskedEditWidget::FinishClickFocus() {
    if (!clickFocus_)
        return;
    clickFocus_ = false;
    model_.SetFocus(false);
    Refresh();
}

void MaskedEditWidget::focusOutEvent(QFocusEvent* e) {
    // QLineEdit drops the selection on focus out; the model keeps it, as the field shows it
    // again when the focus returns.
    updating_ = true;
    QLineEdit::focusOutEvent(e);
    updating_ = false;
    clickFocus_ = false;
    model_.KillFocus();
    const Qt::FocusReason r = e->reason();
    // A message box or a menu taking the focus is not the user leaving the field.
    if (r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason)
        return;
    // The focus is going back to a field whose leave was refused.
    if (reclaiming_ != nullptr && reclaiming_ != this)
        return;
    QTimer::singleShot(0, this, [this] { RunLeave(); });
}

void MaskedEditWidget::RunLeave() {
    // The user came back before the check could run: not a leave.
    if (hasFocus())
        return;
    model_.Leave();
}

void MaskedEditWidget::ReclaimFocus() {
    QPointer<MaskedEditWidget> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self)
            return;
        reclaiming_ = self;
        self->setFocus(Qt::OtherFocusReason);
        if (reclaiming_ == self)
            reclaiming_ = nullptr;
        if (self)
            self->Refresh();
    });
}

void MaskedEditWidget::mousePressEvent(QMouseEvent* e) {
    if (clickFocus_) {
        clickFocus_ = false;
        const bool handled = e->button() == Qt::LeftButton &&
                             model_.MouseDown(cursorPositionAt(e->position().toPoint()));
        model_.SetFocus(false);
        if (handled) {
            Refresh();
            e->accept();
            return;
        }
    }
    QLineEdit::mousePressEvent(e);
    SyncSelectionFromView();
}

void MaskedEditWidget::mouseMoveEvent(QMouseEvent* e) {
    QLineEdit::mouseMoveEvent(e);
    SyncSelectionFromView();
}

void MaskedEditWidget::mouseReleaseEvent(QMouseEvent* e) {
    // The middle button would paste the X selection behind the model's back.
    if (e->button() == Qt::MiddleButton) {
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
    SyncSelectionFromView();
}

void MaskedEditWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    SyncSelectionFromView();
}

void MaskedEditWidget::contextMenuEvent(QContextMenuEvent* e) {
    const bool editable = model_.IsEnabled() && !model_.IsReadOnly();
    const bool selected = model_.HasSelection();
    QMenu menu(this);
    menu.addAction(tr("Cu&t"), this, [this] { model_.Cut(); })
        ->setEnabled(editable && selected && !model_.IsPassword());
    menu.addAction(tr("&Copy"), this, [this] { model_.Copy(); })
        ->setEnabled(selected && !model_.IsPassword());
    menu.addAction(tr("&Paste"), this, [this] { model_.Paste(); })->setEnabled(editable);
    menu.addAction(tr("&Delete"), this, [this] { model_.Clear(); })
        ->setEnabled(editable && selected);
    menu.addSeparator();
    menu.addAction(tr("Select &All"), this, [this] { model_.SelectAll(); });
    menu.exec(e->globalPos());
}
