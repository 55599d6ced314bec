#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "host/ui_host.h"

class CliConsole;

// The platform seam of qorwctl: the file dialogs are answered with the names the command line
// gave, every message box is printed to stderr as a block, and a question is answered Yes (the
// command itself asked for what the question confirms).
class CliUiHost : public UiHost {
public:
    // Multiplies every pause; a testing aid, 1 when unset or not a number >= 0.
    static constexpr const char* kPauseScaleVariable = "QORWCTL_PAUSE_SCALE";

    CliUiHost(CliConsole& console, bool quiet);

    // The names the next open and save dialogs answer with; a dialog with none is cancelled.
    void QueueOpenName(const std::string& name) { openNames_.push_back(name); }
    void QueueSaveName(const std::string& name) { saveNames_.push_back(name); }

    // Message boxes shown so far that refused something, in order (warnings are printed only).
    const std::vector<std::string>& Messages() const { return messages_; }
    size_t MessageCount() const { return messages_.size(); }

    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void ProcessPendingEvents() override {}
    void Pause(int milliseconds) override;
    void Beep() override {}
    bool OpenHelp(const std::string& topic) override;
    std::string ClipboardText() override { return clipboard_; }
    void SetClipboardText(const std::string& text) override { clipboard_ = text; }

    // The pause factor taken from the environment.
    static double PauseScaleFromEnvironment();

private:
    CliConsole& console_;
    bool quiet_;
    double pauseScale_;
    std::deque<std::string> openNames_, saveNames_;
    std::vector<std::string> messages_;
    std::string clipboard_;
};
