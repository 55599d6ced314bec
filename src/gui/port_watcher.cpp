#include "gui/port_watcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include "link/serial_devices.h"

PortWatcher::PortWatcher(std::function<void()> onChange, QObject* parent)
    : QObject(parent),
      onChange_(std::move(onChange)),
      monitor_(std::make_unique<SerialDeviceMonitor>()) {
    if (monitor_->Fd() >= 0) {
        auto* notifier = new QSocketNotifier(monitor_->Fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            if (monitor_->Drain()) onChange_();
        });
        return;
    }
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { onChange_(); });
    timer->start(kPollMs);
}

PortWatcher::~PortWatcher() = default;
