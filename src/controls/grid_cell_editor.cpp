#include "controls/grid_cell_editor.h"

#include "host/ui_host.h"
#include "controls/grid_ctrl.h"

CInPlaceEditor::CInPlaceEditor(CGridCtrl& grid, int row, int col, const GridRect& rect,
                               unsigned id, std::string text, uint32_t format, int firstKey)
    : grid_(grid),
      row_(row),
      col_(col),
      rect_(rect),
      id_(id),
      initialText_(text),
      text_(std::move(text)),
      format_(format),
      exitOnArrows_(firstKey != kKeyStart && firstKey != kKeyF2) {
    const int end = static_cast<int>(text_.size());
    switch (firstKey) {
        case kKeyStart:
        case kKeyF2:
        case kKeyEnter:
            SetSel(end, end);
            break;
        case kKeyBackspace:
            SetSel(end, end);
            KeyDown(kKeyBackspace, false, false);
            break;
        case kKeyTab:
        case kKeySpace:
        case kKeyPageUp:
        case kKeyPageDown:
        case kKeyEnd:
        case kKeyHome:
        case kKeyUp:
        case kKeyDown:
        case kKeyLeft:
        case kKeyRight:
            SetSel(0, end);
            break;
        default:
            SetSel(0, end);
            if (firstKey > kKeySpace && firstKey <= 0xFF) Char(static_cast<unsigned char>(firstKey));
            break;
    }
    Grow();
}

void CInPlaceEditor::Changed() {
    if (viewListener_) viewListener_();
}

void CInPlaceEditor::SetSel(int anchor, int caret) {
    const int n = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor, 0, n);
    caret_ = std::clamp(caret, 0, n);
    Changed();
}

void CInPlaceEditor::ReplaceSel(const std::string& text) {
    if (ended_) return;
    const int start = SelStart();
    // The limit stops the text growing past kMaxLength; a longer text from a file is kept.
    const int n = static_cast<int>(text_.size());
    const int room = std::max(kMaxLength, n) - (n - (SelEnd() - start));
    if (room <= 0 && !text.empty()) return;
    const std::string insert = text.substr(0, std::max(room, 0));
    text_.replace(start, SelEnd() - start, insert);
    anchor_ = caret_ = start + static_cast<int>(insert.size());
    Grow();
    Changed();
}

void CInPlaceEditor::Char(unsigned char c) {
    if (ended_ || c < 0x20 || c == 0x7F) return;
    // A character that does not fit is refused.
    const int n = static_cast<int>(text_.size());
    if (n - (SelEnd() - SelStart()) + 1 > std::max(kMaxLength, n)) return;
    ReplaceSel(std::string(1, static_cast<char>(c)));
}

void CInPlaceEditor::KeyDown(int key, bool shift, bool ctrl) {
    if (ended_) return;
    const int n = static_cast<int>(text_.size());
    auto moveTo = [&](int pos) { SetSel(shift ? anchor_ : pos, pos); };
    switch (key) {
        case kKeyEnter:
            End(key, shift);
            return;
        case kKeyTab:
            End(key, shift);
            return;
        case kKeyEscape:
            text_ = initialText_;
            anchor_ = caret_ = static_cast<int>(text_.size());
            Changed();
            End(key, shift);
            return;
        case kKeyUp:
        case kKeyDown:
        case kKeyPageUp:
        case kKeyPageDown:
            if (exitOnArrows_ || ctrl) {
                End(key, shift);
                return;
            }
            // A single-line field takes Up and Down as Left and Right.
            if (key == kKeyUp) KeyDown(kKeyLeft, shift, false);
            if (key == kKeyDown) KeyDown(kKeyRight, shift, false);
            return;
        case kKeyLeft:
            if (!shift && anchor_ != caret_) {
                SetSel(SelStart(), SelStart());
            } else {
                moveTo(std::max(caret_ - 1, 0));
            }
            return;
        case kKeyRight:
            if (!shift && anchor_ != caret_) {
                SetSel(SelEnd(), SelEnd());
            } else {
                moveTo(std::min(caret_ + 1, n));
            }
            return;
        case kKeyHome:
            moveTo(0);
            return;
        case kKeyEnd:
            moveTo(n);
            return;
        case kKeyBackspace:
            if (anchor_ == caret_ && caret_ > 0) anchor_ = caret_ - 1;
            ReplaceSel({});
            return;
        case kKeyDelete:
            if (shift) {
                Cut();
                return;
            }
            if (anchor_ == caret_ && caret_ < n) anchor_ = caret_ + 1;
            ReplaceSel({});
            return;
        case kKeyInsert:
            if (ctrl) Copy();
            else if (shift) Paste();
            return;
        default:
            break;
    }
    if (ctrl) {
        switch (key) {
            case 'A': case 'a': SetSel(0, n); break;
            case 'C': case 'c': Copy(); break;
            case 'X': case 'x': Cut(); break;
            case 'V': case 'v': Paste(); break;
            default: break;
        }
    }
}

void CInPlaceEditor::KillFocus() {
    // A command is deciding on the text; its refusal message takes the focus for a while.
    if (grid_.IsCommitting()) return;
    End(lastKey_, lastShift_);
}

void CInPlaceEditor::Copy() {
    if (anchor_ != caret_) grid_.Ui().SetClipboardText(text_.substr(SelStart(), SelEnd() - SelStart()));
}

void CInPlaceEditor::Cut() {
    if (ended_ || anchor_ == caret_) return;
    Copy();
    ReplaceSel({});
}

std::string CInPlaceEditor::SingleLine(const std::string& text) {
    std::string line;
    for (unsigned char c : text) {
        if (c == '\r' || c == '\n') break;
        if (c >= 0x20 && c != 0x7F) line += static_cast<char>(c);
    }
    return line;
}

void CInPlaceEditor::InsertText(const std::string& text) { ReplaceSel(SingleLine(text)); }

void CInPlaceEditor::Paste() {
    if (ended_) return;
    InsertText(grid_.Ui().ClipboardText());
}

void CInPlaceEditor::TextEdited(const std::string& text, int anchor, int caret) {
    if (ended_) return;
    text_ = SingleLine(text).substr(0, Limit());
    const int n = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor, 0, n);
    caret_ = std::clamp(caret, 0, n);
    Grow();
    Changed();
}

void CInPlaceEditor::Grow() {
    // Room for the text and two spaces; grows to the right only, never past the client area.
    const int want = grid_.MeasureText(text_ + "  ").width;
    if (want <= rect_.Width()) return;
    int right = rect_.left + want;
    const int limit = grid_.GetClientSize().width;
    if (limit > 0 && right > limit) right = limit;
    if (right > rect_.right) rect_.right = right;
}

void CInPlaceEditor::End(int key, bool shift) {
    if (ended_) return;
    ended_ = true;
    lastKey_ = key;
    lastShift_ = shift;
    Changed();
    grid_.EditorEnded(*this);
}
