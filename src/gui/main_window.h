#pragma once

#include <QWidget>

class AboutBox;
class CButton;
class CUtilityDlg;
class ProgressWindow;
class QLineEdit;
class QPushButton;
class QTabWidget;

// The utility's single window, showing the main window model: the tab control with one view
// per page on the left, the "Load From" and "Save To" buttons and Help on the right, the
// status field below them. Everything it does goes through the model.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(CUtilityDlg& dlg, QWidget* parent = nullptr);
    ~MainWindow() override;

    QTabWidget* Tabs() const { return tabs_; }
    QLineEdit* StatusField() const { return status_; }
    ProgressWindow* Progress() const { return progress_; }
    // The window menu: the About entry. Opened by the context menu and the keyboard.
    void ShowWindowMenu(const QPoint& globalPos);
    void ShowAbout();
    // Selects the next (+1) or previous (-1) tab, as Ctrl+Tab and Ctrl+Shift+Tab do.
    void StepTab(int delta);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QPushButton* MakeButton(CButton& model, const char* objectName);
    void FocusVisiblePage();
    // Nothing that opens its own event loop may start while a device operation runs.
    bool Idle() const;

    CUtilityDlg& dlg_;
    QWidget* content_;
    QTabWidget* tabs_;
    QLineEdit* status_;
    ProgressWindow* progress_;
};
