#pragma once

#include <optional>
#include <string>

// Every interaction that needs a person or the platform. The GUI implements it with Qt, the
// command-line companion with its arguments and stderr, the tests with a script.
class UiHost {
public:
    enum class Icon { None, Exclamation, Question, Information, Stop };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    static constexpr const char* kProgramName = "QOR / QORW Utility";

    virtual ~UiHost() = default;

    // A modal message box; the caption defaults to the program's name.
    virtual Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                              Buttons buttons, Answer defaultAnswer) = 0;
    // The usual error box: OK button, exclamation icon.
    Answer Message(const std::string& text, Icon icon = Icon::Exclamation) {
        return MessageBox(text, kProgramName, icon, Buttons::Ok, Answer::Ok);
    }

    // filter as the file dialogs take it: "Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||".
    // The open dialog requires an existing file; the save dialog asks before replacing one.
    virtual std::optional<std::string> OpenFileName(const std::string& filter,
                                                    const std::string& defaultExt) = 0;
    virtual std::optional<std::string> SaveFileName(const std::string& filter,
                                                    const std::string& defaultExt) = 0;

    virtual void ProcessPendingEvents() = 0;
    virtual void Pause(int milliseconds) = 0;
    virtual void Beep() = 0;
    // Opens a help topic such as "qorwutil.chm::/Overview.htm"; false when nothing could.
    virtual bool OpenHelp(const std::string& topic) = 0;
    virtual std::string ClipboardText() = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
};
