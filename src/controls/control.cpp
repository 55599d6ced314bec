#include "controls/control.h"

void CControl::Enable(bool on) {
    Update(enabled_, on);
}

void CControl::Show(bool on) {
    Update(visible_, on);
}

void CControl::RequestFocus() {
    if (focusListener_)
        focusListener_();
}

void CControl::Changed() {
    if (viewListener_)
        viewListener_();
}

void CControl::Update(bool& field, bool value) {
    if (field == value)
        return;
    field = value;
    Changed();
}

void CControl::Update(int& field, int value) {
    if (field == value)
        return;
    field = value;
    Changed();
}

void CControl::Update(std::string& field, const std::string& value) {
    if (field == value)
        return;
    field = value;
    Changed();
}

void CButton::SetText(const std::string& text) {
    Update(text_, text);
}

void CButton::Click() {
    if (IsEnabled() && onClick)
        onClick();
}

void CCheckBox::SetText(const std::string& text) {
    Update(text_, text);
}

void CCheckBox::SetCheck(bool on) {
    Update(checked_, on);
}

void CCheckBox::Click() {
    if (!IsEnabled())
        return;
    SetCheck(!checked_);
    if (onClick)
        onClick();
}

void CComboBox::AddString(const std::string& text) {
    items_.push_back(text);
    Changed();
}

void CComboBox::ResetContent() {
    items_.clear();
    sel_ = -1;
    Changed();
}

int CComboBox::FindExact(const std::string& text) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == text)
            return static_cast<int>(i);
    }
    return -1;
}

void CComboBox::SetCurSel(int index) {
    if (index < -1 || index >= Count())
        index = -1;
    Update(sel_, index);
}

void CComboBox::Select(int index) {
    if (!IsEnabled())
        return;
    SetCurSel(index);
    if (onSelChange)
        onSelChange();
}

CRadioGroup::CRadioGroup(std::vector<std::string> texts) {
    for (auto& t : texts)
        items_.push_back({std::move(t)});
}

void CRadioGroup::EnableItem(int i, bool on) {
    items_.at(i).enabled = on;
    Changed();
}

void CRadioGroup::ShowItem(int i, bool on) {
    items_.at(i).visible = on;
    Changed();
}

void CRadioGroup::SetSelected(int index) {
    if (index < -1 || index >= Count())
        index = -1;
    Update(sel_, index);
}

void CRadioGroup::Select(int index) {
    if (!IsEnabled() || index < 0 || index >= Count() || !items_[index].enabled)
        return;
    SetSelected(index);
    if (onSelect)
        onSelect();
}

void CEdit::SetText(const std::string& text) {
    Update(text_, text);
}

void CEdit::SetReadOnly(bool on) {
    readOnly_ = on;
    Changed();
}

void CEdit::SetPassword(bool on) {
    password_ = on;
    Changed();
}

void CEdit::UserEdit(const std::string& text) {
    if (!IsEnabled() || readOnly_)
        return;
    std::string t = text;
    if (maxLength_ > 0 && static_cast<int>(t.size()) > maxLength_)
        t.resize(maxLength_);
    SetText(t);
    if (onEdit)
        onEdit();
}
