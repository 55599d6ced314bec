#pragma once

#include <optional>
#include <string>

#include "host/ui_host.h"

// A UiHost with nobody in front of it, for benchmarks and fuzzing: every box takes its default
// answer (counted, its first and last texts kept), both file dialogs answer with fileName,
// nothing waits, and the clipboard is a string.
class SilentUiHost : public UiHost {
public:
    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void ProcessPendingEvents() override {}
    void Pause(int) override {}
    void Beep() override { ++beeps; }
    bool OpenHelp(const std::string&) override { return false; }
    std::string ClipboardText() override { return clipboard; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }

    std::optional<std::string> fileName;
    std::string clipboard;
    int messages = 0;
    int beeps = 0;
    std::string firstMessage, lastMessage;
};
