#include "support/scripted_ui_host.h"

#include <gtest/gtest.h>

std::vector<std::string> ScriptedUiHost::MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : shown_) texts.push_back(m.text);
    return texts;
}

UiHost::Answer ScriptedUiHost::MessageBox(const std::string& text, const std::string& caption,
                                          Icon icon, Buttons buttons, Answer defaultAnswer) {
    shown_.push_back({text, caption, icon, buttons, defaultAnswer});
    if (!answers_.empty()) {
        Answer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    if (!allowAll_) ADD_FAILURE() << "unexpected message box: " << text;
    return defaultAnswer;
}

std::optional<std::string> ScriptedUiHost::OpenFileName(const std::string& filter,
                                                        const std::string&) {
    openFilters.push_back(filter);
    if (openNames_.empty()) {
        ADD_FAILURE() << "unexpected open dialog";
        return std::nullopt;
    }
    auto n = openNames_.front();
    openNames_.pop_front();
    return n;
}

std::optional<std::string> ScriptedUiHost::SaveFileName(const std::string& filter,
                                                        const std::string&) {
    saveFilters.push_back(filter);
    if (saveNames_.empty()) {
        ADD_FAILURE() << "unexpected save dialog";
        return std::nullopt;
    }
    auto n = saveNames_.front();
    saveNames_.pop_front();
    return n;
}

void ScriptedUiHost::Pause(int milliseconds) {
    ++pauses;
    pausedMs += milliseconds;
}

bool ScriptedUiHost::OpenHelp(const std::string& topic) {
    helpTopics.push_back(topic);
    return helpOpens;
}
