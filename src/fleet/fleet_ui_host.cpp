#include "fleet/fleet_ui_host.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

UiHost::Answer FleetUiHost::MessageBox(const std::string& text, const std::string& caption,
                                       Icon icon, Buttons buttons, Answer defaultAnswer) {
    messages_.push_back(text);
    return SilentUiHost::MessageBox(text, caption, icon, buttons, defaultAnswer);
}

std::optional<std::string> FleetUiHost::OpenFileName(const std::string&, const std::string&) {
    return std::exchange(fileName, std::nullopt);
}

std::optional<std::string> FleetUiHost::SaveFileName(const std::string&, const std::string&) {
    return std::exchange(fileName, std::nullopt);
}

void FleetUiHost::Pause(int milliseconds) {
    Wait(static_cast<int>(milliseconds * pauseScale_));
}

bool FleetUiHost::Wait(int milliseconds) {
    constexpr int kStepMs = 50;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (Stopping()) return false;
        auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - now, std::chrono::milliseconds(kStepMs)));
    }
}
