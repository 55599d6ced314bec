#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <string>

#include "host/ui_host.h"

class QWidget;

// The platform services of the window: Qt message boxes and file dialogs, event processing,
// the bell, the clipboard and the help page.
class QtUiHost : public UiHost {
  public:
    // Message boxes and dialogs are shown over this window.
    void SetParentWindow(QWidget* window) { parent_ = window; }

    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void ProcessPendingEvents() override;
    // Keeps the windows painted but takes no input while it waits.
    void Pause(int milliseconds) override;
    void Beep() override;
    bool OpenHelp(const std::string& topic) override;
    std::string ClipboardText() override;
    void SetClipboardText(const std::string& text) override;

    // "Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||" in the form Qt's dialogs take, each
    // entry as "description (patterns)" so the description shows as written.
    static QStringList QtFilters(const std::string& filter);
    // The page a help topic such as "qorwutil.chm::/Overview.htm" stands for, or empty.
    static QString HelpFile(const std::string& topic);

  private:
    std::optional<std::string> FileDialog(bool save, const std::string& filter,
                                          const std::string& defaultExt);

    QPointer<QWidget> parent_;
};
