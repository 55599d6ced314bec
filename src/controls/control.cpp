#include "controls/control.h"

void CControl::Enable(bool on) {
    if (enabled_ == on)
        return;
    enabled_ = on;
    Changed();
}

void CControl::Show(bool on) {
    if (visible_ == on)
        return;
    visible_ = on;
    Changed();
}

void CControl::RequestFocus() {
    if (focusListener_)
        focusListener_();
}

void CControl::Changed() {
    if (viewListener_)
        viewListener_();
}

void CButton::SetText(const std::string& text) {
    if (text_ == text)
        return;
    text_ = text;
    Changed();
}

void CButton::Click() {
    if (IsEnabled() && onClick)
        onClick();
}

void CCheckBox::SetText(const std::string& text) {
    if (text_ == text)
        return;
    text_ = text;
    Changed();
}

void CCheckBox::SetCheck(bool on) {
    if (checked_ == on)
        return;
    checked_ = on;
    Changed();
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
    if (sel_ == index)
        return;
    sel_ = index;
    Changed();
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
    if (sel_ == index)
        return;
    sel_ = index;
    Changed();
}

void CRadioGroup::Select(int index) {
    if (!IsEnabled() || index < 0 || index >= Count() || !items_[index].enabled)
        return;
    SetSelected(index);
    if (onSelect)
        onSelect();
}

void CEdit::SetText(const std::string& text) {
    if (text_ == text)
        return;
    text_ = text;
    Changed();
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
