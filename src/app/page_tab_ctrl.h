#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/control.h"

class CConfigPage;

// The tab control of the main window as a model: the pages in tab order with their tab texts,
// the selected tab item and the page in front. The two differ only for a moment while a page
// switch is being decided; the view shows the selected item and the visible page.
class CPageTabCtrl : public CControl {
  public:
    // Appends a tab item with its page; the first page added is the visible one.
    void AddPage(const std::string& text, CConfigPage& page);
    // Puts another page object behind an existing tab (for hosting a different implementation).
    void SetPage(int index, CConfigPage& page);

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Text(int index) const { return items_.at(index).text; }
    CConfigPage& Page(int index) const { return *items_.at(index).page; }

    int VisibleIndex() const { return visible_; }
    CConfigPage& VisiblePage() const { return Page(visible_); }
    int CurSel() const { return sel_; }

    // Selects the tab item without touching the pages.
    void SetCurSel(int index);
    // Hides the visible page, shows page index, selects its tab and asks for the page to get
    // the focus when focus is true.
    void ShowPage(int index, bool focus);

    // The user asked for tab index (click or keyboard). The main window decides.
    std::function<void(int)> onSelectRequest;
    void RequestSelect(int index);

    // Installed by the view: give the visible page the focus.
    void SetPageFocusListener(std::function<void()> listener) {
        pageFocusListener_ = std::move(listener);
    }

    // Page switching: the visible page checks its values; only when it accepts does index come
    // to the front. Returns whether the page in front is now index.
    bool SwitchTo(int index);
    // The pages check their values in tab order; the first that refuses comes to the front.
    // Returns its index, or -1 when all accept.
    int CheckAll();

  private:
    struct Item {
        std::string text;
        CConfigPage* page;
    };
    std::vector<Item> items_;
    int visible_ = 0;
    int sel_ = 0;
    std::function<void()> pageFocusListener_;
};
