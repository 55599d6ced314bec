#pragma once

#include <QWidget>

class CProgressWnd;
class QProgressBar;

// The small captioned window with one progress bar that the device operations show. It follows
// its model: shown while the model is open, over the window that owns it.
class ProgressWindow : public QWidget {
    Q_OBJECT
  public:
    ProgressWindow(CProgressWnd& model, QWidget* owner);
    ~ProgressWindow() override;
    QProgressBar* Bar() const { return bar_; }

  protected:
    // The operation closes it, not the user.
    void closeEvent(QCloseEvent* event) override;

  private:
    void Update();

    CProgressWnd& model_;
    QProgressBar* bar_;
};
