#include "app/page_tab_ctrl.h"

#include <stdexcept>

#include "pages/config_page.h"

void CPageTabCtrl::AddPage(const std::string& text, CConfigPage& page) {
    items_.push_back({text, &page});
    Changed();
}

void CPageTabCtrl::SetPage(int index, CConfigPage& page) {
    items_.at(index).page = &page;
}

void CPageTabCtrl::SetCurSel(int index) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("tab index");
    if (sel_ == index)
        return;
    sel_ = index;
    Changed();
}

void CPageTabCtrl::ShowPage(int index, bool focus) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("tab index");
    visible_ = index;
    sel_ = index;
    Changed();
    if (focus && pageFocusListener_)
        pageFocusListener_();
}

void CPageTabCtrl::RequestSelect(int index) {
    if (!IsEnabled() || index < 0 || index >= Count())
        return;
    if (onSelectRequest)
        onSelectRequest(index);
}

bool CPageTabCtrl::SwitchTo(int index) {
    if (index < 0 || index >= Count())
        return false;
    if (index == visible_)
        return true;
    if (!VisiblePage().TakeControlValues()) {
        SetCurSel(visible_);
        return false;
    }
    ShowPage(index, true);
    return true;
}

int CPageTabCtrl::CheckAll() {
    for (int i = 0; i < Count(); ++i) {
        if (!Page(i).TakeControlValues()) {
            ShowPage(i, false);
            return i;
        }
    }
    return -1;
}
