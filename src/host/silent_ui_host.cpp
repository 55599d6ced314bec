#include "host/silent_ui_host.h"

UiHost::Answer SilentUiHost::MessageBox(const std::string& text, const std::string&, Icon,
                                        Buttons, Answer defaultAnswer) {
    if (messages++ == 0) firstMessage = text;
    lastMessage = text;
    return defaultAnswer;
}

std::optional<std::string> SilentUiHost::OpenFileName(const std::string&, const std::string&) {
    return fileName;
}

std::optional<std::string> SilentUiHost::SaveFileName(const std::string&, const std::string&) {
    return fileName;
}
