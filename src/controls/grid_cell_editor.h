#pragma once

#include <algorithm>
#include <functional>
#include <string>

#include "controls/grid_cell.h"

// The single-line field that edits a cell in place. It lives from the cell's OpenEditor until
// the edit ends; the grid owns it. A view shows it over the cell and forwards the user's keys,
// or lets a text field of its own do the typing and reports the result with TextEdited.
class CInPlaceEditor {
public:
    static constexpr int kMaxLength = 45;

    CInPlaceEditor(CGridCtrl& grid, int row, int col, const GridRect& rect, unsigned id,
                   std::string text, uint32_t format, int firstKey);
    CInPlaceEditor(const CInPlaceEditor&) = delete;
    CInPlaceEditor& operator=(const CInPlaceEditor&) = delete;

    int Row() const { return row_; }
    int Column() const { return col_; }
    unsigned Id() const { return id_; }
    const std::string& Text() const { return text_; }
    const std::string& InitialText() const { return initialText_; }
    // Selection from anchor to caret; equal when nothing is selected.
    int Anchor() const { return anchor_; }
    int Caret() const { return caret_; }
    int SelStart() const { return std::min(anchor_, caret_); }
    int SelEnd() const { return std::max(anchor_, caret_); }
    uint32_t Alignment() const { return format_ & CellFormat::kHorizontalMask; }
    const GridRect& Rect() const { return rect_; }
    bool ExitsOnArrows() const { return exitOnArrows_; }
    int LastKey() const { return lastKey_; }
    bool IsEnded() const { return ended_; }
    // The longest text the field may hold: kMaxLength, or a longer text it started with.
    int Limit() const { return std::max<int>(kMaxLength, static_cast<int>(initialText_.size())); }

    // A printable character typed (0x20..0xFF); refused when the text would pass the limit.
    void Char(unsigned char c);
    // A key pressed: editing keys, caret moves, clipboard shortcuts and the keys that end the edit.
    void KeyDown(int key, bool shift, bool ctrl);
    void KillFocus();

    void SetSel(int anchor, int caret);
    void ReplaceSel(const std::string& text);
    // Text from outside (clipboard, selection, drop) replaces the selection as SingleLine
    // makes it.
    void InsertText(const std::string& text);
    void Copy();
    void Cut();
    void Paste();
    // The view's own field changed the text; made single-line and cut to Limit().
    void TextEdited(const std::string& text, int anchor, int caret);

    // What a single-line field takes of a text: its first line, without control characters.
    static std::string SingleLine(const std::string& text);

    // Called after every change of text, selection or size, and once when the edit has ended.
    void SetViewListener(std::function<void()> listener) { viewListener_ = std::move(listener); }

private:
    void Changed();
    void Grow();
    void End(int key, bool shift);
    friend class CGridCtrl;

    CGridCtrl& grid_;
    int row_, col_;
    GridRect rect_;
    unsigned id_;
    std::string initialText_;
    std::string text_;
    uint32_t format_;
    int anchor_ = 0, caret_ = 0;
    bool exitOnArrows_;
    int lastKey_ = kKeyNone;
    bool lastShift_ = false;
    bool ended_ = false;
    std::function<void()> viewListener_;
};
