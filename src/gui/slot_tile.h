#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <optional>

#include "fleet/provisioner.h"

class QLabel;
class QProgressBar;
class QPushButton;

// One slot of the provisioning station: what the unit on its port is doing or how it ended.
// Events are taken as they come (Apply) and shown when the window repaints (Show), so a burst
// of progress costs one repaint.
class SlotTile : public QFrame {
    Q_OBJECT
public:
    // What the tile says of its slot; the word is always shown beside its colour.
    // Recording: finished with the module, waiting for the ledger to take the outcome.
    enum class State { Empty, Working, Done, Failed, Remove, Stopped, Recording };
    static const char* StateWord(State state);

    SlotTile(const QString& name, const QString& port, QWidget* parent = nullptr);

    void Apply(const FleetEvent& event);
    // Shows what Apply took since the last call (and the elapsed time of a unit under way).
    void Show();

    State CurrentState() const { return state_; }
    const QString& Port() const { return port_; }
    const QString& Message() const { return message_; }
    int Row() const { return row_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* RetryButton() const { return retry_; }
    QPushButton* TraceButton() const { return trace_; }

signals:
    void stopRequested(const QString& port);
    void retryRequested(const QString& port);
    // The link trace of the last attempt of the unit's row.
    void traceRequested(int row);

private:
    QString name_, port_;
    State state_ = State::Empty;
    State result_ = State::Empty;           // how the last unit ended, kept while it is taken away
    UnitPhase phase_ = UnitPhase::Waiting;  // the step reached, for the ticks
    int percent_ = -1;
    int row_ = 0;
    QString ip_, hw_, message_;
    QElapsedTimer clock_;
    qint64 elapsedMs_ = 0;  // of the unit that finished
    bool changed_ = true;
    std::optional<State> shownState_;  // the colour and word on show

    QLabel* stateLabel_;
    QLabel* steps_;
    QProgressBar* bar_;
    QLabel* unit_;
    QLabel* elapsed_;
    QLabel* messageLabel_;
    QPushButton* stop_;
    QPushButton* retry_;
    QPushButton* trace_;
};
