#include "controls/masked_edit.h"

#include <langinfo.h>

#include <clocale>

#include "host/ui_host.h"

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A separator must be one plain character; multi-byte locale forms keep the default.
char SeparatorOr(const char* s, char fallback) {
    if (s == nullptr || s[0] == '\0')
        return fallback;
    unsigned char c = static_cast<unsigned char>(s[0]);
    if (c < 0x21 || c > 0x7E)
        return fallback;
    return s[0];
}

// The first character of a time or date format that is not part of a conversion.
char FormatSeparator(const char* fmt, char fallback) {
    if (fmt == nullptr)
        return fallback;
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p == '%') {
            ++p;
            if (*p == 'E' || *p == 'O')
                ++p;
            if (*p == '\0')
                break;
            continue;
        }
        char one[2] = {*p, '\0'};
        if (IsAsciiLetter(*p) || IsDigit(*p))
            continue;
        return SeparatorOr(one, fallback);
    }
    return fallback;
}

}  // namespace

bool CMaskData::Accepts(char c) const {
    switch (kind) {
        case Kind::Literal:
            return false;
        case Kind::Digit:
            return IsDigit(c);
        case Kind::AlphaNum:
            return IsAsciiLetter(c) || IsDigit(c);
        case Kind::Alpha:
        case Kind::Upper:
        case Kind::Lower:
            return IsAsciiLetter(c);
        case Kind::Any: {
            unsigned char u = static_cast<unsigned char>(c);
            return u >= 32 && u <= 126;
        }
    }
    return false;
}

char CMaskData::Stored(char c) const {
    if (kind == Kind::Upper && c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (kind == Kind::Lower && c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

MaskSeparators MaskSeparators::FromLocale() {
    MaskSeparators s;
    if (const lconv* lc = std::localeconv()) {
        s.decimal = SeparatorOr(lc->decimal_point, '.');
        s.thousands = SeparatorOr(lc->thousands_sep, ',');
    }
    s.time = FormatSeparator(nl_langinfo(T_FMT), ':');
    s.date = FormatSeparator(nl_langinfo(D_FMT), '/');
    return s;
}

CMaskedEdit::CMaskedEdit(UiHost& ui, const std::string& mask)
    : CMaskedEdit(ui, mask, MaskSeparators::FromLocale()) {}

CMaskedEdit::CMaskedEdit(UiHost& ui, const std::string& mask, const MaskSeparators& separators)
    : ui_(ui), separators_(separators) {
    ApplyMask(mask);
}

// ---------------------------------------------------------------------------------------------
// Mask model

CMaskData CMaskedEdit::MakeElement(char m) const {
    CMaskData e;
    switch (m) {
        case '#':
            e.kind = CMaskData::Kind::Digit;
            break;
        case 'A':
            e.kind = CMaskData::Kind::AlphaNum;
            break;
        case '?':
            e.kind = CMaskData::Kind::Alpha;
            break;
        case '>':
            e.kind = CMaskData::Kind::Upper;
            break;
        case '<':
            e.kind = CMaskData::Kind::Lower;
            break;
        case '&':
            e.kind = CMaskData::Kind::Any;
            break;
        case '.':
            e.ch = separators_.decimal;
            return e;
        case ',':
            e.ch = separators_.thousands;
            return e;
        case ':':
            e.ch = separators_.time;
            return e;
        case '/':
            e.ch = separators_.date;
            return e;
        default:
            e.ch = m;
            return e;
    }
    e.ch = prompt_;
    return e;
}

void CMaskedEdit::ApplyMask(const std::string& mask) {
    mask_ = mask;
    elements_.clear();
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '\\' && i + 1 < mask.size()) {
            elements_.push_back(CMaskData{CMaskData::Kind::Literal, mask[++i]});
        } else {
            elements_.push_back(MakeElement(mask[i]));
        }
    }
    Rewrite(0);
    modified_ = false;
}

void CMaskedEdit::SetPromptChar(char c) {
    if (c != 0 && c != 10 && c != 13 && c != 127) {
        for (auto& e : elements_) {
            if (e.IsInput() && e.ch == prompt_)
                e.ch = c;
        }
        prompt_ = c;
    }
    Rewrite(-1);
    modified_ = false;
}

std::string CMaskedEdit::InputChars() const {
    if (!HasMask())
        return text_;
    std::string s;
    for (const auto& e : elements_) {
        if (e.IsInput())
            s += e.ch;
    }
    return s;
}

bool CMaskedEdit::PlaceInput(const std::string& text, int from, bool raw) {
    if (!HasMask()) {
        // Without a mask every character is input.
        std::string t =
            text_.substr(0, static_cast<size_t>(std::clamp<int>(from, 0, text_.size())));
        SetTextInternal(t + text);
        modified_ = true;
        SetSel(0, 0);
        Notify(false);
        return true;
    }
    std::string stream = InputChars();
    stream.resize(static_cast<size_t>(std::clamp<int>(from, 0, stream.size())));
    if (raw) {
        stream += text;
    } else {
        for (char c : text) {
            if (c != prompt_)
                stream += c;
        }
    }
    bool ok = true;
    size_t k = 0;
    for (auto& e : elements_) {
        if (!e.IsInput())
            continue;
        e.ch = prompt_;
        while (k < stream.size()) {
            char c = stream[k++];
            if (c == prompt_)
                break;
            if (e.Accepts(c)) {
                e.ch = e.Stored(c);
                break;
            }
            ok = false;
        }
    }
    Rewrite(0);
    return ok;
}

int CMaskedEdit::RemoveInput(int start, int end) {
    std::string stream;
    int removed = 0;
    for (int i = 0; i < static_cast<int>(elements_.size()); ++i) {
        if (!elements_[i].IsInput())
            continue;
        if (i >= start && i < end) {
            ++removed;
        } else {
            stream += elements_[i].ch;
        }
    }
    // A range of literals changes nothing; spare the rewrite and its notifications.
    if (removed > 0)
        PlaceInput(stream, 0, true);
    return removed;
}

int CMaskedEdit::InsertInput(int p, char c) {
    int at = NextInputPos(p);
    if (at >= static_cast<int>(elements_.size()))
        return -1;
    std::string before = InputChars();
    int k = 0;
    for (int i = 0; i < at; ++i) {
        if (elements_[i].IsInput())
            ++k;
    }
    std::string stream = before;
    stream.insert(stream.begin() + k, c);
    if (!PlaceInput(stream, 0, true)) {
        PlaceInput(before, 0, true);
        return -1;
    }
    return at;
}

int CMaskedEdit::OverwriteInput(int p, char c) {
    if (!IsInputPos(p))
        return -1;
    CMaskData& e = elements_[p];
    if (c == prompt_) {
        e.ch = prompt_;
    } else if (e.Accepts(c)) {
        e.ch = e.Stored(c);
    } else {
        return -1;
    }
    return p;
}

bool CMaskedEdit::IsInputPos(int p) const {
    return p >= 0 && p < static_cast<int>(elements_.size()) && elements_[p].IsInput();
}

int CMaskedEdit::NextInputPos(int p) const {
    int n = static_cast<int>(elements_.size());
    for (int i = std::max(p, 0); i < n; ++i) {
        if (elements_[i].IsInput())
            return i;
    }
    return n;
}

int CMaskedEdit::PrevInputPos(int p) const {
    if (IsInputPos(p))
        return p;
    int n = static_cast<int>(elements_.size());
    for (int i = std::min(p, n) - 1; i >= 0; --i) {
        if (elements_[i].IsInput())
            return i + 1;
    }
    return NextInputPos(p);
}

int CMaskedEdit::FirstEmptyInputPos(int p) const {
    int n = static_cast<int>(elements_.size());
    for (int i = std::max(p, 0); i < n; ++i) {
        if (elements_[i].IsInput() && elements_[i].ch == prompt_)
            return i;
    }
    return n;
}

bool CMaskedEdit::AllInputEmpty() const {
    for (const auto& e : elements_) {
        if (e.IsInput() && e.ch != prompt_)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Text, selection, notifications

void CMaskedEdit::Rewrite(int caret) {
    std::string t;
    t.reserve(elements_.size());
    for (const auto& e : elements_)
        t += e.ch;
    SetTextInternal(t);
    modified_ = true;
    int len = static_cast<int>(text_.size());
    if (caret >= 0) {
        int p = NextInputPos(caret);
        anchor_ = caret_ = std::min(p, len);
    } else {
        anchor_ = std::min(anchor_, len);
        caret_ = std::min(caret_, len);
    }
    Notify(false);
}

void CMaskedEdit::SetTextInternal(const std::string& text) {
    ++internalUpdate_;
    text_ = text;
    --internalUpdate_;
}

void CMaskedEdit::Notify(bool plainEdit) {
    if (onUpdate)
        onUpdate();
    if ((notify_ || plainEdit) && onChange)
        onChange();
    Changed();
}

bool CMaskedEdit::SetText(const std::string& text) {
    if (!HasMask() || internalUpdate_ > 0) {
        SetTextInternal(text);
        anchor_ = caret_ = 0;
        modified_ = false;
        Notify(true);
        return true;
    }
    notify_ = false;
    std::string rest = text;
    const int n = static_cast<int>(elements_.size());
    const int walk = std::min(n, static_cast<int>(text.size()));
    size_t removed = 0;
    for (int i = 0; i < walk;) {
        if (elements_[i].IsInput()) {
            ++i;
            continue;
        }
        std::string run;
        int j = i;
        while (j < n && !elements_[j].IsInput())
            run += elements_[j++].ch;
        size_t at = static_cast<size_t>(i) - removed;
        if (rest.compare(at, run.size(), run) == 0) {
            rest.erase(at, run.size());
            removed += run.size();
        }
        i = j;
    }
    bool ok = PlaceInput(rest, 0, true);
    notify_ = true;
    return ok;
}

void CMaskedEdit::SetSel(int anchor, int caret) {
    int len = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor, 0, len);
    caret_ = std::clamp(caret, 0, len);
    Changed();
}

void CMaskedEdit::SetCaretTo(int p, bool extend) {
    int len = static_cast<int>(text_.size());
    caret_ = std::clamp(p, 0, len);
    if (!extend)
        anchor_ = caret_;
    Changed();
}

void CMaskedEdit::SetReadOnly(bool on) {
    readOnly_ = on;
    Changed();
}

void CMaskedEdit::SetPassword(bool on) {
    password_ = on;
    Changed();
}

void CMaskedEdit::SignalRejected() {
    ui_.Beep();
}

// ---------------------------------------------------------------------------------------------
// The platform edit control's own behaviour

void CMaskedEdit::EditMove(Key key, bool shift, bool ctrl) {
    const int len = static_cast<int>(text_.size());
    int p = caret_;
    switch (key) {
        case Key::Left:
        case Key::Up:
            if (!shift && HasSelection()) {
                p = SelStart();
            } else if (ctrl) {
                while (p > 0 && text_[p - 1] == ' ')
                    --p;
                while (p > 0 && text_[p - 1] != ' ')
                    --p;
            } else if (p > 0) {
                --p;
            }
            break;
        case Key::Right:
        case Key::Down:
            if (!shift && HasSelection()) {
                p = SelEnd();
            } else if (ctrl) {
                while (p < len && text_[p] != ' ')
                    ++p;
                while (p < len && text_[p] == ' ')
                    ++p;
            } else if (p < len) {
                ++p;
            }
            break;
        case Key::Home:
            p = 0;
            break;
        case Key::End:
            p = len;
            break;
        default:
            return;
    }
    SetCaretTo(p, shift);
}

void CMaskedEdit::EditReplaceSel(const std::string& s) {
    const int len = static_cast<int>(text_.size());
    const int start = SelStart(), end = SelEnd();
    std::string add = s;
    if (limit_ > 0) {
        int room = limit_ - (len - (end - start));
        if (room < 0)
            room = 0;
        if (static_cast<int>(add.size()) > room)
            add.resize(static_cast<size_t>(room));
    }
    if (add.empty() && start == end)
        return;
    std::string t = text_;
    t.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), add);
    SetTextInternal(t);
    anchor_ = caret_ = start + static_cast<int>(add.size());
    modified_ = true;
    Notify(true);
}

void CMaskedEdit::EditBackspace() {
    if (!HasSelection()) {
        if (caret_ == 0)
            return;
        anchor_ = caret_ - 1;
    }
    EditReplaceSel({});
}

void CMaskedEdit::EditDelete() {
    if (!HasSelection()) {
        if (caret_ >= static_cast<int>(text_.size()))
            return;
        anchor_ = caret_ + 1;
    }
    EditReplaceSel({});
}

// ---------------------------------------------------------------------------------------------
// User actions

void CMaskedEdit::KeyDown(Key key, bool shift, bool ctrl) {
    // The edit control's clipboard keys.
    if (key == Key::Delete && shift && !ctrl)
        return Cut();
    if (key == Key::Insert && shift && !ctrl)
        return Paste();
    if (key == Key::Insert && ctrl && !shift)
        return Copy();

    if (!HasMask() || readOnly_) {
        if (key == Key::Delete) {
            if (!readOnly_)
                EditDelete();
            return;
        }
        EditMove(key, shift, ctrl);
        return;
    }
    switch (key) {
        case Key::Home:
        case Key::Right:
        case Key::Down:
            EditMove(key, shift, ctrl);
            if (!shift)
                SetCaretTo(NextInputPos(caret_), false);
            break;
        case Key::Left:
        case Key::Up:
            EditMove(key, shift, ctrl);
            if (!shift)
                SetCaretTo(PrevInputPos(caret_), false);
            break;
        case Key::End:
            EditMove(key, shift, ctrl);
            break;
        case Key::Insert:
            if (!shift && !ctrl)
                insertMode_ = !insertMode_;
            break;
        case Key::Delete:
            MaskedDelete();
            break;
    }
}

void CMaskedEdit::MaskedDelete() {
    const int n = static_cast<int>(elements_.size());
    int start = SelStart(), end = SelEnd();
    if (start >= n)
        return;
    if (start == end)
        end = start + 1;
    for (; start < n; ++start, ++end) {
        if (RemoveInput(start, end) > 0) {
            Rewrite(start);
            return;
        }
    }
}

void CMaskedEdit::MaskedBackspace() {
    if (HasSelection()) {
        int start = SelStart(), end = SelEnd();
        if (RemoveInput(start, end) > 0)
            return Rewrite(start);
        for (int s = start - 1, e = end; s >= 0; --s, --e) {
            if (RemoveInput(s, e) > 0)
                return Rewrite(s);
        }
        SetCaretTo(start, false);
        return;
    }
    for (int s = caret_ - 1; s >= 0; --s) {
        if (RemoveInput(s, s + 1) > 0)
            return Rewrite(s);
    }
}

void CMaskedEdit::MaskedChar(char c) {
    int p = caret_;
    if (HasSelection()) {
        p = SelStart();
        if (RemoveInput(p, SelEnd()) == 0) {
            SignalRejected();
            SetCaretTo(NextInputPos(p), false);
            return;
        }
        int at = InsertInput(p, c);
        if (at >= 0)
            return Rewrite(at + 1);
        SignalRejected();
        SetCaretTo(p, false);
        return;
    }
    if (!IsInputPos(p)) {
        SignalRejected();
        SetCaretTo(NextInputPos(p), false);
        return;
    }
    int at = insertMode_ ? InsertInput(p, c) : OverwriteInput(p, c);
    if (at >= 0)
        return Rewrite(at + 1);
    SignalRejected();
    SetCaretTo(p, false);
}

void CMaskedEdit::Char(char c) {
    // The edit control's control-character shortcuts.
    switch (c) {
        case 0x01:
            return SelectAll();
        case 0x03:
            return Copy();
        case 0x16:
            return Paste();
        case 0x18:
            return Cut();
        default:
            break;
    }
    if (readOnly_)
        return;
    unsigned char u = static_cast<unsigned char>(c);
    if (!HasMask()) {
        if (c == '\b')
            return EditBackspace();
        if (u >= 32)
            EditReplaceSel(std::string(1, c));
        return;
    }
    if (c == '\b')
        return MaskedBackspace();
    if (u >= 32)
        MaskedChar(c);
}

void CMaskedEdit::Paste() {
    if (readOnly_)
        return;
    std::string clip = ui_.ClipboardText();
    // A single-line field takes the first line only.
    size_t eol = clip.find_first_of("\r\n");
    if (eol != std::string::npos)
        clip.resize(eol);
    if (clip.empty())
        return;
    if (!HasMask())
        return EditReplaceSel(clip);
    const int s = SelStart();
    std::string t = text_;
    t.replace(static_cast<size_t>(s), static_cast<size_t>(SelEnd() - s), clip);
    PlaceInput(t, 0, false);
    SetCaretTo(FirstEmptyInputPos(s), false);
}

void CMaskedEdit::Copy() {
    if (password_ || !HasSelection())
        return;
    ui_.SetClipboardText(
        text_.substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelEnd() - SelStart())));
}

void CMaskedEdit::Cut() {
    if (readOnly_ || password_)
        return;
    Copy();
    Clear();
}

void CMaskedEdit::Clear() {
    if (readOnly_)
        return;
    if (!HasMask()) {
        if (HasSelection())
            EditReplaceSel({});
        return;
    }
    int start = SelStart(), end = SelEnd();
    RemoveInput(start, end);
    Rewrite(start);
}

// ---------------------------------------------------------------------------------------------
// Focus and mouse

void CMaskedEdit::SetFocus(bool editSelectedAll) {
    hasFocus_ = true;
    if (editSelectedAll) {
        // Arriving by Tab: the caret waits at the first input position instead.
        if (HasMask()) {
            SetCaretTo(NextInputPos(0), false);
        } else {
            SelectAll();
        }
        return;
    }
    Changed();
}

void CMaskedEdit::KillFocus() {
    hasFocus_ = false;
    Changed();
}

bool CMaskedEdit::Leave() {
    LeaveNotify n;
    n.field = this;
    n.controlId = controlId_;
    if (onLeave)
        onLeave(n);
    if (n.valid == 0 || (n.ownCheck != 0 && !CheckOnLeave())) {
        RequestFocus();
        return false;
    }
    return true;
}

bool CMaskedEdit::MouseDown(int pos) {
    (void)pos;
    if (hasFocus_ || !HasMask() || !AllInputEmpty())
        return false;
    SetCaretTo(NextInputPos(0), false);
    return true;
}
