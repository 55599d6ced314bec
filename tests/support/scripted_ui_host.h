#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "host/ui_host.h"

// A UiHost for tests: records every message box and answers dialogs from queues. A message box
// shown without an expectation fails the running test unless messages are allowed.
class ScriptedUiHost : public UiHost {
public:
    struct Shown {
        std::string text;
        std::string caption;
        Icon icon;
        Buttons buttons;
        Answer defaultAnswer;
    };

    // Queues the answer of the next message box and allows it.
    void ExpectMessage(Answer answer = Answer::Ok) { answers_.push_back(answer); }
    // Lets any number of message boxes through, answered with their default button.
    void AllowMessages(bool on = true) { allowAll_ = on; }
    void QueueOpenName(std::optional<std::string> name) { openNames_.push_back(std::move(name)); }
    void QueueSaveName(std::optional<std::string> name) { saveNames_.push_back(std::move(name)); }

    const std::vector<Shown>& Messages() const { return shown_; }
    std::vector<std::string> MessageTexts() const;
    std::string LastMessage() const { return shown_.empty() ? std::string() : shown_.back().text; }
    void ClearMessages() { shown_.clear(); }

    int pauses = 0;
    int pausedMs = 0;
    int beeps = 0;
    int processed = 0;
    std::vector<std::string> helpTopics;
    bool helpOpens = true;
    std::string clipboard;
    std::vector<std::string> openFilters, saveFilters;

    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void ProcessPendingEvents() override { ++processed; }
    void Pause(int milliseconds) override;
    void Beep() override { ++beeps; }
    bool OpenHelp(const std::string& topic) override;
    std::string ClipboardText() override { return clipboard; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }

private:
    std::vector<Shown> shown_;
    std::deque<Answer> answers_;
    std::deque<std::optional<std::string>> openNames_, saveNames_;
    bool allowAll_ = false;
};
