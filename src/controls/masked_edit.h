#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "controls/control.h"

class UiHost;

// One element of a mask: one displayed character.
struct CMaskData {
    enum class Kind {
        Literal,   // a fixed character
        Digit,     // '#': 0-9
        AlphaNum,  // 'A': letters and digits
        Alpha,     // '?': letters
        Upper,     // '>': letters, stored upper case
        Lower,     // '<': letters, stored lower case
        Any,       // '&': codes 32..126
    };

    Kind kind = Kind::Literal;
    char ch = ' ';  // the literal, the character entered, or the prompt when empty

    bool IsInput() const { return kind != Kind::Literal; }
    // Whether c may be entered here (always false for a literal).
    bool Accepts(char c) const;
    // c as it is stored here (case conversion of '>' and '<').
    char Stored(char c) const;
};

// The locale's separator characters that the mask literals '.', ',', ':' and '/' stand for.
struct MaskSeparators {
    char decimal = '.';
    char thousands = ',';
    char time = ':';
    char date = '/';

    // Read from the C library's current locale; a separator the locale does not give as one
    // plain ASCII character keeps its default.
    static MaskSeparators FromLocale();
};

// A single-line text field that accepts input only where its mask allows, keeps the mask's
// literals in place and runs a check when the user leaves it. With an empty mask it is a plain
// edit field that still runs the leave check.
//
// The model holds the text, the caret and the selection; user actions come in as calls, and the
// view shows the state after each change (CControl's view listener). Requests only a view can
// carry out (take the focus back) come out through CControl::RequestFocus.
class CMaskedEdit : public CControl {
  public:
    // Code of the leave notification.
    static constexpr int kLeaveNotifyCode = 0x8136;

    // Sent to the owner when the field loses the focus. The owner may clear valid to refuse the
    // leave, or clear ownCheck to skip the field's CheckOnLeave.
    struct LeaveNotify {
        CMaskedEdit* field = nullptr;
        int controlId = 0;
        int valid = 1;
        int ownCheck = 1;
        int reserved = 0;
    };

    enum class Key { Left, Right, Up, Down, Home, End, Insert, Delete };

    // Separators from the current locale.
    explicit CMaskedEdit(UiHost& ui, const std::string& mask = {});
    CMaskedEdit(UiHost& ui, const std::string& mask, const MaskSeparators& separators);
    ~CMaskedEdit() override = default;
    CMaskedEdit(const CMaskedEdit&) = delete;
    CMaskedEdit& operator=(const CMaskedEdit&) = delete;

    UiHost& Ui() const { return ui_; }
    int ControlId() const { return controlId_; }
    void SetControlId(int id) { controlId_ = id; }

    // --- mask model ---
    // Rebuilds the elements from mask (input positions empty), rewrites the text with the caret
    // at the first input position and clears the modified mark.
    void ApplyMask(const std::string& mask);
    const std::string& Mask() const { return mask_; }
    bool HasMask() const { return !elements_.empty(); }
    const std::vector<CMaskData>& Elements() const { return elements_; }
    const MaskSeparators& Separators() const { return separators_; }
    char PromptChar() const { return prompt_; }
    // Codes 0, 10, 13 and 127 are refused (the text is rewritten all the same).
    void SetPromptChar(char c);

    // The characters of all input positions in order, prompts included; the text without a mask.
    std::string InputChars() const;
    // Keeps the first `from` input characters, appends text (without its prompt characters
    // unless raw) and deals the stream out over the input positions: a prompt empties a
    // position, an unacceptable character is skipped and makes the result false, an exhausted
    // stream leaves the remaining positions empty. Rewrites with the caret at the first input
    // position.
    bool PlaceInput(const std::string& text, int from, bool raw);
    // Removes the input characters of the input positions in elements [start, end); later input
    // moves towards the front. Returns how many input positions the range held.
    int RemoveInput(int start, int end);
    // Inserts c before the input character of the first input position at or after p; later
    // input moves on, the last falls off. Returns that position's element index, or -1 (no
    // such position, or the result was refused; the previous input then stays).
    int InsertInput(int p, char c);
    // Replaces the character of input position p with c (the prompt or an acceptable one).
    // Returns p, or -1.
    int OverwriteInput(int p, char c);

    bool IsInputPos(int p) const;
    // The next input position at or after p; the element count when there is none.
    int NextInputPos(int p) const;
    // p when p is an input position, else the index after the nearest input position before p,
    // else the next one after p.
    int PrevInputPos(int p) const;
    // The first empty input position at or after p; the element count when there is none.
    int FirstEmptyInputPos(int p) const;
    bool AllInputEmpty() const;

    // --- text and selection ---
    const std::string& GetText() const { return text_; }
    // Text set by the owner. With a mask: the mask's literal runs are taken out of text where it
    // holds them, and the rest is placed raw from position 0 (false when characters were
    // skipped). So 192.168.001.010 fills the twelve digit positions of the address mask.
    bool SetText(const std::string& text);
    int SelStart() const { return std::min(anchor_, caret_); }
    int SelEnd() const { return std::max(anchor_, caret_); }
    int Caret() const { return caret_; }
    int Anchor() const { return anchor_; }
    bool HasSelection() const { return anchor_ != caret_; }
    // Selects [anchor, caret) with the caret at the second end (which may be the smaller one).
    void SetSel(int anchor, int caret);
    void SelectAll() { SetSel(0, static_cast<int>(text_.size())); }
    bool IsModified() const { return modified_; }
    void SetModified(bool on) { modified_ = on; }
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    // Shown as '*' per character by the view; copy and cut are refused.
    bool IsPassword() const { return password_; }
    void SetPassword(bool on);
    // Length limit of typing and pasting without a mask; 0 for none.
    int LimitText() const { return limit_; }
    void SetLimitText(int n) { limit_ = n < 0 ? 0 : n; }
    bool InsertMode() const { return insertMode_; }
    bool HasFocus() const { return hasFocus_; }

    // --- user actions ---
    void KeyDown(Key key, bool shift, bool ctrl);
    // A typed character; '\b' is Backspace.
    void Char(char c);
    void Paste();
    void Cut();
    void Copy();
    void Clear();  // delete the selection
    // The field got the focus; editSelectedAll tells that the platform selected the whole text
    // on the way in (focus by Tab).
    void SetFocus(bool editSelectedAll);
    // The field lost the focus. The leave check is separate (Leave) so that the view can run it
    // after the focus change has settled.
    void KillFocus();
    // The user left the field: sends the leave notification, then runs CheckOnLeave unless the
    // owner skipped it. A refusal asks for the focus back (RequestFocus) and returns false.
    bool Leave();
    // A mouse press at character position pos. True when the field handled it itself (an
    // unfocused field whose input positions are all empty takes the focus with the caret at the
    // first input position); false lets the view handle it as usual.
    bool MouseDown(int pos);

    // --- overridables ---
    // The reaction to a refused character: the exclamation sound.
    virtual void SignalRejected();
    // The field's own check when the focus leaves it; the plain field accepts everything.
    virtual bool CheckOnLeave() { return true; }

    // Notifications to the owner: every internal rewrite sends onUpdate and, unless the text is
    // being set from outside, onChange; plain edits without a mask send both.
    std::function<void()> onUpdate;
    std::function<void()> onChange;
    std::function<void(LeaveNotify&)> onLeave;

  protected:
    // Sets the text to the elements' characters, marks the field modified, and when caret is not
    // negative puts an empty selection at the next input position at or after it.
    void Rewrite(int caret);

  private:
    CMaskData MakeElement(char maskChar) const;
    void SetTextInternal(const std::string& text);
    void Notify(bool plainEdit);

    // The platform edit control's own behaviour, used without a mask and for caret movement.
    void EditMove(Key key, bool shift, bool ctrl);
    void EditReplaceSel(const std::string& s);
    void EditBackspace();
    void EditDelete();
    void SetCaretTo(int p, bool extend);

    void MaskedDelete();
    void MaskedBackspace();
    void MaskedChar(char c);

    UiHost& ui_;
    MaskSeparators separators_;
    std::string mask_;
    std::vector<CMaskData> elements_;
    std::string text_;
    char prompt_ = ' ';
    bool insertMode_ = true;
    bool notify_ = true;
    int internalUpdate_ = 0;
    int anchor_ = 0;
    int caret_ = 0;
    bool modified_ = false;
    bool readOnly_ = false;
    bool password_ = false;
    bool hasFocus_ = false;
    int limit_ = 0;
    int controlId_ = 0;
};
