#include "gui/slot_tile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/control_binding.h"

namespace {

struct StateLook {
    const char* word;
    const char* colour;
};
constexpr StateLook kLooks[] = {{"empty", "#d0d0d0"},         {"working", "#8cb8ef"},
                                {"done", "#8fd18f"},          {"failed", "#ef8c8c"},
                                {"remove module", "#f2c36b"}, {"stopped", "#d0d0d0"},
                                {"recording", "#c3b1e6"}};

// The steps a unit passes, each with the phase that begins it.
struct Step {
    const char* name;
    UnitPhase phase;
};
constexpr Step kSteps[] = {{"identify", UnitPhase::Identifying},
                           {"write", UnitPhase::Downloading},
                           {"store and reset", UnitPhase::Storing},
                           {"verify", UnitPhase::Verifying}};

int StepOf(UnitPhase phase) {
    switch (phase) {
        case UnitPhase::Identifying:
            return 0;
        case UnitPhase::Downloading:
            return 1;
        case UnitPhase::Storing:
            return 2;
        case UnitPhase::Verifying:
            return 3;
        case UnitPhase::Done:
        case UnitPhase::AlreadyDone:
            return 4;
        default:
            return -1;
    }
}

SlotTile::State StateOf(UnitPhase phase) {
    switch (phase) {
        case UnitPhase::Waiting:
            return SlotTile::State::Empty;
        case UnitPhase::Done:
        case UnitPhase::AlreadyDone:
            return SlotTile::State::Done;
        case UnitPhase::Failed:
        case UnitPhase::NoRowLeft:
        case UnitPhase::PortFailed:
            return SlotTile::State::Failed;
        case UnitPhase::Interrupted:
            return SlotTile::State::Stopped;
        case UnitPhase::Removal:
            return SlotTile::State::Remove;
        case UnitPhase::Recording:
            return SlotTile::State::Recording;
        default:
            return SlotTile::State::Working;
    }
}

}  // namespace

const char* SlotTile::StateWord(State state) {
    return kLooks[static_cast<int>(state)].word;
}

SlotTile::SlotTile(const QString& name, const QString& port, QWidget* parent)
    : QFrame(parent), name_(name), port_(port) {
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    auto* title = new QLabel("<b>" + name.toHtmlEscaped() + "</b>", this);
    title->setWordWrap(true);
    stateLabel_ = new QLabel(this);
    steps_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setAccessibleName("Step progress");
    unit_ = new QLabel(this);
    unit_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    elapsed_ = new QLabel(this);
    messageLabel_ = new QLabel(this);
    messageLabel_->setWordWrap(true);
    messageLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stop_ = new QPushButton("Stop", this);
    stop_->setAccessibleName("Stop " + name);
    retry_ = new QPushButton("Retry", this);
    retry_->setAccessibleName("Retry " + name);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);  // the slot takes no further module
        emit stopRequested(port_);
    });
    connect(retry_, &QPushButton::clicked, this, [this] { emit retryRequested(port_); });

    // The link trace of the unit's last attempt, once the unit has a row.
    trace_ = new QPushButton("Trace...", this);
    trace_->setAccessibleName("Trace " + name);
    trace_->setEnabled(false);
    connect(trace_, &QPushButton::clicked, this, [this] { emit traceRequested(row_); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(trace_);
    buttons->addStretch();
    buttons->addWidget(retry_);
    buttons->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{title, stateLabel_, steps_, bar_, unit_,
                                                      elapsed_, messageLabel_})
        layout->addWidget(w);
    layout->addStretch();
    layout->addLayout(buttons);
    setMinimumWidth(220);
    Show();
}

void SlotTile::Apply(const FleetEvent& e) {
    changed_ = true;
    bool finished = state_ == State::Done || state_ == State::Failed || state_ == State::Stopped;
    // A finished tile keeps its result until the next module is plugged in; its removal is
    // shown, the result stays.
    if (e.phase == UnitPhase::Waiting && (finished || state_ == State::Remove)) {
        if (state_ == State::Remove) state_ = result_;
        return;
    }
    // A unit done asks for its module to be taken away; one that failed keeps saying so.
    if (e.phase == UnitPhase::Removal) {
        if (state_ == State::Done) {
            result_ = state_;
            state_ = State::Remove;
        }
        return;
    }
    if (e.phase == UnitPhase::Identifying) {
        clock_.start();
        row_ = 0;
        ip_.clear();
        message_.clear();
    }
    // Recording comes after the module's last step: the ticks stay where the unit got to.
    if (e.phase != UnitPhase::Recording) phase_ = e.phase;
    percent_ = e.percent;
    state_ = StateOf(e.phase);
    if (e.row > 0) row_ = e.row;
    if (!e.ip.empty()) ip_ = FromLatin1(e.ip);
    hw_ = FromLatin1(e.hw);
    if (!e.text.empty() || IsFinalPhase(e.phase)) message_ = FromLatin1(e.text);
    if (IsFinalPhase(e.phase) && clock_.isValid()) elapsedMs_ = clock_.elapsed();
}

void SlotTile::Show() {
    bool working = state_ == State::Working;
    // Under way until the ledger holds the outcome, and so is its clock.
    bool inFlight = working || state_ == State::Recording;
    if (!changed_ && !inFlight) return;
    changed_ = false;
    trace_->setEnabled(row_ > 0 && !inFlight);
    const StateLook& look = kLooks[static_cast<int>(state_)];
    if (state_ != shownState_) {
        shownState_ = state_;
        setStyleSheet(QString("SlotTile { background: %1; }").arg(look.colour));
        stateLabel_->setText(QString(look.word).toUpper());
    }

    int reached = StepOf(phase_);
    QStringList steps;
    for (int i = 0; i < 4; ++i) {
        // Ticked as it passes; the step under way is marked, those to come are not.
        const char* mark = reached > i ? "[x] " : reached == i ? "[>] " : "[ ] ";
        steps << mark + QString(kSteps[i].name);
    }
    steps_->setText(steps.join("\n"));
    bar_->setVisible(working);
    bar_->setValue(std::max(percent_, 0));

    QStringList unit;
    if (row_ > 0) unit << QString("row %1").arg(row_);
    if (!ip_.isEmpty()) unit << ip_;
    unit_->setText(unit.join("  ") + (hw_.isEmpty() ? "" : "\n" + hw_));
    qint64 ms = inFlight && clock_.isValid() ? clock_.elapsed() : elapsedMs_;
    elapsed_->setText(
        state_ == State::Empty && ms == 0
            ? QString()
            : QString("%1:%2").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QChar('0')));
    messageLabel_->setText(message_);
    retry_->setVisible(state_ == State::Failed);
    setAccessibleName(name_ + ": " + look.word);
    setAccessibleDescription(QStringList{unit_->text(), steps.join(", "), message_}.join("; "));
}
