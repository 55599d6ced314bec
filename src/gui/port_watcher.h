#pragma once

#include <QObject>
#include <functional>
#include <memory>

class SerialDeviceMonitor;

// Calls onChange when serial devices may have come or gone: on udev's events where udev runs,
// else once a second (containers, test sources), where onChange itself tells what changed.
class PortWatcher : public QObject {
public:
    static constexpr int kPollMs = 1000;

    PortWatcher(std::function<void()> onChange, QObject* parent);
    ~PortWatcher() override;

private:
    std::function<void()> onChange_;
    std::unique_ptr<SerialDeviceMonitor> monitor_;
};
