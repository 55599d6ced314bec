#include "cli/cli_ui_host.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "cli/cli_console.h"
#include "files/config_text.h"

CliUiHost::CliUiHost(CliConsole& console, bool quiet)
    : console_(console), quiet_(quiet), pauseScale_(PauseScaleFromEnvironment()) {}

double CliUiHost::PauseScaleFromEnvironment() {
    const char* text = std::getenv(kPauseScaleVariable);
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double scale = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(scale) || scale < 0) return 1.0;
    return scale;
}

UiHost::Answer CliUiHost::MessageBox(const std::string& text, const std::string& caption,
                                     Icon icon, Buttons buttons, Answer defaultAnswer) {
    (void)icon, (void)defaultAnswer;
    bool question = buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
    if (question) {
        // Not a refusal: the command asked for what is confirmed here.
        if (!quiet_) console_.Block(text + "\n-> Yes");
        return Answer::Yes;
    }
    console_.Block(text);
    // A warning reports and lets the work go on; only the other boxes are refusals.
    if (caption != CConfigTextReader::kWarningCaption) messages_.push_back(text);
    return Answer::Ok;
}

std::optional<std::string> CliUiHost::OpenFileName(const std::string& filter,
                                                   const std::string& defaultExt) {
    (void)filter, (void)defaultExt;
    if (openNames_.empty()) return std::nullopt;
    std::string name = openNames_.front();
    openNames_.pop_front();
    return name;
}

std::optional<std::string> CliUiHost::SaveFileName(const std::string& filter,
                                                   const std::string& defaultExt) {
    (void)filter, (void)defaultExt;
    if (saveNames_.empty()) return std::nullopt;
    std::string name = saveNames_.front();
    saveNames_.pop_front();
    return name;
}

void CliUiHost::Pause(int milliseconds) {
    if (milliseconds <= 0) return;
    auto ms = std::chrono::duration<double, std::milli>(milliseconds * pauseScale_);
    std::this_thread::sleep_for(ms);
}

bool CliUiHost::OpenHelp(const std::string& topic) {
    (void)topic;
    return false;
}
