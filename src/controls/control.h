#pragma once

#include <functional>
#include <string>
#include <vector>

// Base of the control models: state that a view shows, a listener the view binding installs to
// hear of model changes, and requests only a view can carry out (take the focus).
class CControl {
  public:
    virtual ~CControl() = default;

    bool IsEnabled() const { return enabled_; }
    void Enable(bool on);
    bool IsVisible() const { return visible_; }
    void Show(bool on);

    // Installed by the view binding; called after every change of the model's state.
    void SetViewListener(std::function<void()> listener) { viewListener_ = std::move(listener); }
    // Installed by the view binding; asks the view to give this control the focus.
    void SetFocusListener(std::function<void()> listener) { focusListener_ = std::move(listener); }
    void RequestFocus();

  protected:
    void Changed();
    // Sets a piece of state and tells the view, only when it really changes.
    void Update(bool& field, bool value);
    void Update(int& field, int value);
    void Update(std::string& field, const std::string& value);

  private:
    bool enabled_ = true;
    bool visible_ = true;
    std::function<void()> viewListener_;
    std::function<void()> focusListener_;
};

class CButton : public CControl {
  public:
    explicit CButton(std::string text = {}) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    // The user pressed it; does nothing while disabled.
    void Click();
    std::function<void()> onClick;

  private:
    std::string text_;
};

class CCheckBox : public CControl {
  public:
    explicit CCheckBox(std::string text = {}) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool IsChecked() const { return checked_; }
    void SetCheck(bool on);
    // The user clicked it: toggles, then tells the page.
    void Click();
    std::function<void()> onClick;

  private:
    std::string text_;
    bool checked_ = false;
};

class CComboBox : public CControl {
  public:
    void AddString(const std::string& text);
    void ResetContent();
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& ItemText(int index) const { return items_.at(index); }
    // Index of the item equal to text, or -1.
    int FindExact(const std::string& text) const;
    int GetCurSel() const { return sel_; }
    void SetCurSel(int index);  // -1 clears the selection
    std::string CurText() const { return sel_ >= 0 ? items_[sel_] : std::string(); }
    // The user chose an item: selects it, then tells the page.
    void Select(int index);
    std::function<void()> onSelChange;

  private:
    std::vector<std::string> items_;
    int sel_ = -1;
};

class CRadioGroup : public CControl {
  public:
    explicit CRadioGroup(std::vector<std::string> texts);
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& ItemText(int i) const { return items_.at(i).text; }
    bool IsItemEnabled(int i) const { return items_.at(i).enabled; }
    bool IsItemVisible(int i) const { return items_.at(i).visible; }
    void EnableItem(int i, bool on);
    void ShowItem(int i, bool on);
    int Selected() const { return sel_; }
    void SetSelected(int index);
    // The user clicked item index.
    void Select(int index);
    std::function<void()> onSelect;

  private:
    struct Item {
        std::string text;
        bool enabled = true;
        bool visible = true;
    };
    std::vector<Item> items_;
    int sel_ = -1;
};

// A plain single-line text field or read-only display.
class CEdit : public CControl {
  public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    bool IsPassword() const { return password_; }
    void SetPassword(bool on);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n) { maxLength_ = n; }
    // The user changed the text (cut to the length limit); tells the page.
    void UserEdit(const std::string& text);
    std::function<void()> onEdit;

  private:
    std::string text_;
    bool readOnly_ = false;
    bool password_ = false;
    int maxLength_ = 0;  // 0: no limit
};
