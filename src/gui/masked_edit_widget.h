#pragma once

#include <QLineEdit>
#include <cstdint>

class CMaskedEdit;

// The view of a CMaskedEdit (and so of a CIPAddrEdit): a QLineEdit that hands keys,
// characters, clipboard commands, focus changes and mouse presses to the model and shows the
// model's text, caret and selection. The widget never edits its text itself.
//
// The leave check runs after the focus change has settled (a queued call), never inside the
// focus-out handler, and a refused field takes the focus back the same way. Focus moves that
// return the focus to a refusing field, and those caused by a message box or a popup, are not
// leaves, so two refusing fields cannot bounce the focus between them.
class MaskedEditWidget : public QLineEdit {
    Q_OBJECT
  public:
    explicit MaskedEditWidget(CMaskedEdit& model, QWidget* parent = nullptr);
    ~MaskedEditWidget() override;

    CMaskedEdit& Model() const { return model_; }

    // The address requests, for code that holds only the widget. False (and no effect) when
    // the model is not an IP address entry.
    bool GetAddress(uint8_t* octets);
    bool SetAddress(const uint8_t* octets);

    // Shows the model's state.
    void Refresh();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void SyncSelectionFromView();
    void TypeText(const QString& text);
    void RunLeave();
    void ReclaimFocus();
    void FinishClickFocus();

    CMaskedEdit& model_;
    bool updating_ = false;
    bool shownEnabled_ = true;
    bool shownVisible_ = true;
    bool clickFocus_ = false;  // focus arrived by a mouse press not yet delivered
    static MaskedEditWidget* reclaiming_;
};
