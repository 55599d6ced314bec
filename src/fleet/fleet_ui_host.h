#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/silent_ui_host.h"

// The UiHost of a window nobody looks at: one per worker (and one for building the units'
// configurations). Message boxes are recorded and take their default answer; the file dialogs
// answer with the name given for the next one; pauses are real (scaled) and end early when the
// run is being stopped.
class FleetUiHost : public SilentUiHost {
public:
    explicit FleetUiHost(const std::atomic<bool>* stop = nullptr, double pauseScale = 1.0)
        : stop_(stop), pauseScale_(pauseScale) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void Pause(int milliseconds) override;

    // Answers the next file dialog only.
    void SetNextFileName(std::string name) { fileName = std::move(name); }
    const std::vector<std::string>& Messages() const { return messages_; }
    std::string LastMessage() const { return lastMessage; }
    bool Stopping() const { return stop_ && stop_->load(); }
    // Waits ms (not scaled) in short steps; false when it ended early for a stop request.
    bool Wait(int milliseconds);

private:
    const std::atomic<bool>* stop_;
    double pauseScale_;
    std::vector<std::string> messages_;
};
