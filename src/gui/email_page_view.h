#pragma once

#include <QWidget>

class CEmailPage;
class GridView;
class MaskedEditWidget;
class QCheckBox;
class QKeyEvent;

// The view of the "Email" tab: the server address, the sender and the SMTP login on the left,
// the destination grid on the right.
class EmailPageView : public QWidget {
    Q_OBJECT
public:
    explicit EmailPageView(CEmailPage& page, QWidget* parent = nullptr);

    MaskedEditWidget* ServerField() const { return server_; }
    MaskedEditWidget* SenderField() const { return sender_; }
    QCheckBox* AuthCheck() const { return auth_; }
    MaskedEditWidget* UsernameField() const { return username_; }
    MaskedEditWidget* PasswordField() const { return password_; }
    GridView* Grid() const { return grid_; }

protected:
    // Enter and Escape belong to the focused control; any that come back unused stop here
    // instead of reaching the window.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CEmailPage& page_;
    MaskedEditWidget* server_;
    MaskedEditWidget* sender_;
    QCheckBox* auth_;
    MaskedEditWidget* username_;
    MaskedEditWidget* password_;
    GridView* grid_;
};
