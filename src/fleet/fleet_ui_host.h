#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/silent_ui_host.h"

// The UiHost of a window nobody looks at: one per worker (and one for building the units'
// configurations). Message boxes are recorded and take their default answer; the file dialogs
// answer with the name given for the next one; pauses are real (scaled) and end early when the
// run is being stopped.
class FleetUiHost : public SilentUiHost {
public:
    // stopping, asked between requests and during pauses, tells whether the run is being
    // stopped (and may see to it that the link stops too).
    explicit FleetUiHost(std::function<bool()> stopping = {}, double pauseScale = 1.0)
        : stopping_(std::move(stopping)), pauseScale_(pauseScale) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, Answer defaultAnswer) override;
    std::optional<std::string> OpenFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    std::optional<std::string> SaveFileName(const std::string& filter,
                                            const std::string& defaultExt) override;
    void ProcessPendingEvents() override { Stopping(); }
    void Pause(int milliseconds) override;

    // Answers the next file dialog only.
    void SetNextFileName(std::string name) { fileName = std::move(name); }
    const std::vector<std::string>& Messages() const { return messages_; }
    std::string LastMessage() const { return lastMessage; }
    bool Stopping() const { return stopping_ && stopping_(); }
    // Waits ms (not scaled) in short steps; false when it ended early for a stop request.
    bool Wait(int milliseconds);

private:
    std::function<bool()> stopping_;
    double pauseScale_;
    std::vector<std::string> messages_;
};
