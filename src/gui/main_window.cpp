#include "gui/main_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <functional>

#include "app/utility_dlg.h"
#include "gui/about_box.h"
#include "gui/control_binding.h"
#include "gui/grid_view.h"
#include "gui/email_page_view.h"
#include "gui/ip_addr_page_view.h"
#include "gui/progress_window.h"
#include "gui/reset_page_view.h"
#include "gui/routing_page_view.h"
#include "gui/utility_settings_page_view.h"
#include "gui/web_config_page_view.h"
#include "gui/web_data_desc_page_view.h"
#include "gui/window_icon.h"

namespace {

// A tab bar that asks before it changes: a click or a key only requests the tab, and the main
// window decides whether the visible page lets it go.
class RequestingTabBar : public QTabBar {
  public:
    std::function<void(int)> request;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            int index = tabAt(event->position().toPoint());
            if (index >= 0) {
                if (index != currentIndex() && request)
                    request(index);
                event->accept();
                return;
            }
        }
        QTabBar::mousePressEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        int index = -1;
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Up:
                index = currentIndex() - 1;
                break;
            case Qt::Key_Right:
            case Qt::Key_Down:
                index = currentIndex() + 1;
                break;
            case Qt::Key_Home:
                index = 0;
                break;
            case Qt::Key_End:
                index = count() - 1;
                break;
            default:
                QTabBar::keyPressEvent(event);
                return;
        }
        if (index >= 0 && index < count() && index != currentIndex() && request)
            request(index);
        event->accept();
    }

    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

class RequestingTabWidget : public QTabWidget {
  public:
    explicit RequestingTabWidget(QWidget* parent) : QTabWidget(parent) {
        bar = new RequestingTabBar;
        setTabBar(bar);
    }
    RequestingTabBar* bar;
    std::function<void(int)> step;
    // Least room for the pages; what the pages themselves need still counts.
    QSize pageRoom;

    QSize minimumSizeHint() const override {
        return QTabWidget::minimumSizeHint().expandedTo(pageRoom);
    }
    QSize sizeHint() const override { return QTabWidget::sizeHint().expandedTo(pageRoom); }

  protected:
    // Ctrl+Tab and its kin are the window's shortcuts; should one reach here, it takes the
    // same road.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->modifiers() & Qt::ControlModifier) {
            int delta = 0;
            switch (event->key()) {
                case Qt::Key_Tab:
                    delta = (event->modifiers() & Qt::ShiftModifier) ? -1 : 1;
                    break;
                case Qt::Key_Backtab:
                    delta = -1;
                    break;
                case Qt::Key_PageDown:
                    delta = 1;
                    break;
                case Qt::Key_PageUp:
                    delta = -1;
                    break;
                default:
                    break;
            }
            if (delta != 0) {
                if (step)
                    step(delta);
                event->accept();
                return;
            }
        }
        QTabWidget::keyPressEvent(event);
    }
};

}  // namespace

MainWindow::MainWindow(CUtilityDlg& dlg, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dlg_(dlg),
      content_(new QWidget(this)),
      tabs_(nullptr),
      status_(new QLineEdit(content_)),
      progress_(nullptr) {
    setObjectName("mainWindow");
    setWindowTitle(CUtilityDlg::kWindowTitle);
    setWindowIcon(UtilityIcon());

    // The tab control and its pages.
    auto* tabs = new RequestingTabWidget(content_);
    tabs_ = tabs;
    tabs_->setObjectName("pageTabs");
    // All seven tabs stay in sight: the window grows to hold them rather than scroll them.
    tabs_->tabBar()->setUsesScrollButtons(false);
    tabs_->tabBar()->setElideMode(Qt::ElideNone);
    tabs_->tabBar()->setExpanding(false);
    CPageTabCtrl& tabModel = dlg_.Tabs();
    QWidget* views[CUtilityDlg::kPageCount] = {
        new IpAddrPageView(dlg_.IpAddrPage()),
        new RoutingPageView(dlg_.RoutingPage()),
        new EmailPageView(dlg_.EmailPage()),
        new ResetPageView(dlg_.ResetPage()),
        new UtilitySettingsPageView(dlg_.UtilitySettingsPage()),
        new WebConfigPageView(dlg_.WebConfigPage()),
        new WebDataDescPageView(dlg_.WebDataDescPage())};
    for (int i = 0; i < tabModel.Count(); ++i) {
        const QString title = FromLatin1(tabModel.Text(i));
        tabs_->addTab(views[i], title);
        // Screen readers name a control by its label; a page's table has none but the tab.
        NameAfterLabels(views[i]);
        for (GridView* grid : views[i]->findChildren<GridView*>()) {
            if (grid->accessibleName().isEmpty()) grid->setAccessibleName(title);
        }
    }
    tabs->bar->request = [this](int index) { dlg_.Tabs().RequestSelect(index); };
    tabs->step = [this](int delta) { StepTab(delta); };
    // Whatever else changes the tab (accessibility, for one) is put back and asked for.
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        CPageTabCtrl& model = dlg_.Tabs();
        if (index == model.VisibleIndex())
            return;
        {
            QSignalBlocker block(tabs_);
            tabs_->setCurrentIndex(model.VisibleIndex());
        }
        model.RequestSelect(index);
    });
    auto syncTabs = [this] {
        CPageTabCtrl& model = dlg_.Tabs();
        QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(model.VisibleIndex());
        tabs_->setEnabled(model.IsEnabled());
    };
    tabModel.SetViewListener(syncTabs);
    tabModel.SetPageFocusListener([this] { FocusVisiblePage(); });
    syncTabs();
    // Room for the pages as the module's dialogs lay them out (327 by 107 dialog units).
    QFontMetrics fm = fontMetrics();
    tabs->pageRoom = QSize(fm.averageCharWidth() * 327 / 4, fm.height() * 107 / 8);

    // The command buttons.
    auto* loadGroup = new QGroupBox("Load From", content_);
    auto* loadLayout = new QVBoxLayout(loadGroup);
    loadLayout->addWidget(MakeButton(dlg_.FileLoadButton(), "fileLoadButton"));
    loadLayout->addWidget(MakeButton(dlg_.QorButton(), "qorButton"));
    loadLayout->addWidget(MakeButton(dlg_.DefaultsButton(), "defaultsButton"));
    loadLayout->addWidget(MakeButton(dlg_.TextLoadButton(), "textLoadButton"));
    auto* saveGroup = new QGroupBox("Save To", content_);
    auto* saveLayout = new QVBoxLayout(saveGroup);
    saveLayout->addWidget(MakeButton(dlg_.FileSaveButton(), "fileSaveButton"));
    saveLayout->addWidget(MakeButton(dlg_.RamButton(), "ramButton"));
    saveLayout->addWidget(MakeButton(dlg_.RomButton(), "romButton"));
    saveLayout->addWidget(MakeButton(dlg_.TextSaveButton(), "textSaveButton"));
    for (QVBoxLayout* l : {loadLayout, saveLayout})
        l->addStretch();

    QPushButton* help = MakeButton(dlg_.HelpButton(), "helpButton");
    auto* helpRow = new QHBoxLayout;
    helpRow->addStretch();
    helpRow->addWidget(help);
    helpRow->addStretch();

    // The keyboard follows the layout: Help stands above the two groups.
    setTabOrder(tabs_, help);
    setTabOrder(help, loadGroup->findChild<QPushButton*>("fileLoadButton"));

    auto* groups = new QHBoxLayout;
    groups->addWidget(loadGroup);
    groups->addWidget(saveGroup);

    // The status field.
    status_->setObjectName("statusField");
    status_->setFocusPolicy(Qt::ClickFocus);
    status_->setAccessibleName("Status");
    status_->setAlignment(Qt::AlignHCenter);
    Bind(dlg_.StatusField(), status_);

    auto* right = new QVBoxLayout;
    right->addLayout(helpRow);
    right->addLayout(groups);
    // Tall pages leave the buttons where the hand expects them, under Help.
    right->addStretch(1);
    right->addWidget(status_);

    auto* columns = new QHBoxLayout(content_);
    columns->addWidget(tabs_, 1);
    columns->addLayout(right);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(content_);

    // Disabling the main window disables what it shows; the progress window stays lively.
    QPointer<QWidget> content = content_;
    dlg_.Window().SetViewListener([this, content] {
        if (content)
            content->setEnabled(dlg_.IsWindowEnabled());
    });
    content_->setEnabled(dlg_.IsWindowEnabled());

    progress_ = new ProgressWindow(dlg_.Progress(), this);

    // Keyboard: tab switching, help, the window menu and About.
    auto shortcut = [this](QKeySequence keys, std::function<void()> action) {
        auto* s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, std::move(action));
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { StepTab(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { StepTab(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { StepTab(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { StepTab(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { StepTab(-1); });
    shortcut(QKeySequence(Qt::Key_F1), [this] {
        if (Idle())
            dlg_.HelpButton().Click();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F1), [this] { ShowAbout(); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10),
             [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });
}

MainWindow::~MainWindow() {
    // The models outlive the window; they must not call into it any more.
    dlg_.Window().SetViewListener(nullptr);
    dlg_.Tabs().SetViewListener(nullptr);
    dlg_.Tabs().SetPageFocusListener(nullptr);
}

QPushButton* MainWindow::MakeButton(CButton& model, const char* objectName) {
    auto* button = new QPushButton(content_);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    // A click leaves the keyboard where it was: an open cell edit is then ended by the command
    // itself, which keeps it open when its text is refused, not by the focus leaving it.
    button->setFocusPolicy(Qt::TabFocus);
    Bind(model, button);
    return button;
}

bool MainWindow::Idle() const {
    return !dlg_.IsBusy() && dlg_.IsWindowEnabled();
}

void MainWindow::StepTab(int delta) {
    if (!Idle())
        return;
    CPageTabCtrl& model = dlg_.Tabs();
    int n = model.Count();
    model.RequestSelect(((model.VisibleIndex() + delta) % n + n) % n);
}

void MainWindow::FocusVisiblePage() {
    QWidget* page = tabs_->currentWidget();
    if (!page)
        return;
    // The first control of the page that takes the keyboard, else the page itself.
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w))
            break;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(page)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    page->setFocus(Qt::OtherFocusReason);
}

void MainWindow::ShowWindowMenu(const QPoint& globalPos) {
    if (!Idle())
        return;
    QMenu menu(this);
    QAction* about = menu.addAction(CUtilityDlg::kAboutMenuEntry);
    if (menu.exec(globalPos) == about)
        ShowAbout();
}

void MainWindow::ShowAbout() {
    if (!Idle())
        return;
    AboutBox box(this);
    box.exec();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    ShowWindowMenu(event->globalPos());
    event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (dlg_.RequestClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}
