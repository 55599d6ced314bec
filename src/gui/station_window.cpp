#include "gui/station_window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollArea>
#include <QSysInfo>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/module_scan.h"
#include "fleet/ledger_export.h"
#include "gui/control_binding.h"
#include "gui/port_watcher.h"
#include "gui/slot_tile.h"
#include "link/port_map.h"
#include "link/serial_devices.h"
#include "pages/utility_settings_page.h"

namespace {

constexpr const char* kSlotsFileName = "station-slots";
constexpr const char* kAllStates = "All states";
constexpr const char* kRateAsSettings = "As the utility's settings";
constexpr const char* kLedgerTitle = "Ledger";
constexpr const char* kBatchTitle = "Ledger: batch %1";

// The ledger beside the units file, as qorwctl provision places it.
QString DefaultLedger(const QString& unitsPath) {
    return FromLatin1(Ledger::DefaultPath(ToLatin1(unitsPath)));
}

bool IsServer(const QString& ledger) {
    return Ledger::IsServer(ToLatin1(ledger));
}

// A port the station can take as a slot: the name it is kept by (its USB socket where it has
// one, so the same socket is the same slot tomorrow) and what a person knows it by.
struct SlotPort {
    QString key, text, shortName;
};

std::vector<SlotPort> FindSlotPorts(const QStringList& named) {
    std::vector<SlotPort> ports;
    PortMap& map = ProgramPortMap();
    map.Refresh();
    for (const SerialDevice& d : FindSerialDevices()) {
        SlotPort p;
        p.key = FromLatin1(d.byPath.empty() ? d.StableName() : d.byPath);
        int n = ComPortForDevice(d.devnode);
        QString com = n ? QString("COM%1  ").arg(n) : QString();
        QString socket = FromLatin1(d.byPath.substr(d.byPath.rfind('/') + 1));
        p.text = com + FromLatin1(d.Label()) +
                 (d.byPath.empty() ? "" : PortMap::kInSocket + socket) + "  " +
                 FromLatin1(d.devnode);
        p.shortName =
            d.byPath.empty() ? FromLatin1(d.devnode.substr(d.devnode.rfind('/') + 1)) : socket;
        ports.push_back(p);
    }
    for (const QString& n : named) {
        auto same = [&](const SlotPort& p) { return p.key == n; };
        if (std::none_of(ports.begin(), ports.end(), same))
            ports.push_back({n, n, n.startsWith("/dev/") ? n.mid(5) : n});
    }
    // Socket order: numbers by value (1-1.10 after 1-1.9).
    QCollator order;
    order.setNumericMode(true);
    std::sort(ports.begin(), ports.end(), [&](const SlotPort& a, const SlotPort& b) {
        return order.compare(a.key, b.key) < 0;
    });
    return ports;
}

}  // namespace

// Carries the engine's events from its threads to the window's: queued under a lock, taken
// by the window's repaint timer.
class StationWindow::Relay : public FleetObserver {
public:
    void OnEvent(const FleetEvent& event) override {
        std::lock_guard lk(mu_);
        events_.push_back(event);
    }
    std::vector<FleetEvent> Take() {
        std::lock_guard lk(mu_);
        return std::exchange(events_, {});
    }

private:
    std::mutex mu_;
    std::vector<FleetEvent> events_;
};

StationWindow::StationWindow(Setup setup, QWidget* parent)
    : QWidget(parent), setup_(std::move(setup)), relay_(std::make_unique<Relay>()) {
    setWindowTitle(kTitle);
    auto* setupBox = new QGroupBox("Setup", this);
    auto* runBox = new QGroupBox("Run", this);
    auto* ledgerBox = new QGroupBox(kLedgerTitle, this);
    BuildSetup(setupBox);
    BuildRun(runBox);
    BuildLedger(ledgerBox);
    auto* layout = new QGridLayout(this);
    layout->addWidget(setupBox, 0, 0);
    layout->addWidget(runBox, 0, 1);
    layout->addWidget(ledgerBox, 1, 0, 1, 2);
    layout->setColumnStretch(1, 2);
    layout->setRowStretch(0, 3);
    layout->setRowStretch(1, 2);
    // Room for a hub's eight tiles beside the setup, as far as the screen allows.
    resize(1280, 820);

    repaint_ = new QTimer(this);
    repaint_->setInterval(kRepaintMs);
    connect(repaint_, &QTimer::timeout, this, &StationWindow::Drain);
    confirmClose = [this] {
        return QMessageBox::question(this, kTitle, kCloseWhileArmed) == QMessageBox::Yes;
    };
    if (!setup_.templatePath.isEmpty() && !setup_.unitsPath.isEmpty()) Check();
    UpdateControls();
}

StationWindow::~StationWindow() {
    StopRun();
}

void StationWindow::BuildSetup(QGroupBox* box) {
    auto* form = new QGridLayout(box);
    auto field = [&](int row, const QString& label, const QString& text, QLineEdit*& edit,
                     const QString& filter, bool save) {
        auto* l = new QLabel(label, box);
        edit = new QLineEdit(text, box);
        l->setBuddy(edit);
        edit->setAccessibleName(QString(label).remove('&').remove(':'));
        auto* b = new QPushButton("Browse...", box);
        b->setAccessibleName("Browse " + edit->accessibleName());
        browse_.push_back(b);
        QLineEdit* e = edit;
        connect(b, &QPushButton::clicked, this, [=, this] { Browse(e, filter, save); });
        connect(edit, &QLineEdit::textEdited, this, [this] {
            checkedClean_ = false;
            UpdateControls();
        });
        form->addWidget(l, row, 0);
        form->addWidget(edit, row, 1);
        form->addWidget(b, row, 2);
    };
    QString ledger =
        setup_.ledgerPath.isEmpty() ? DefaultLedger(setup_.unitsPath) : setup_.ledgerPath;
    field(0, "&Template:", setup_.templatePath, template_, "Configurations (*.txt *.dcf)", false);
    field(1, "&Units:", setup_.unitsPath, units_, "Units tables (*.csv)", false);
    field(2, "&Ledger:", ledger, ledgerEdit_, "Ledgers (*.db)", true);
    ledgerEdit_->setPlaceholderText("a file, or postgresql://user@host/database");
    connect(units_, &QLineEdit::textEdited, this, &StationWindow::FollowUnits);
    // Who records the attempts: the ledger shows which station did each unit.
    auto* stationLabel = new QLabel("Stat&ion:", box);
    station_ = new QLineEdit(QSysInfo::machineHostName(), box);
    station_->setAccessibleName("Station");
    stationLabel->setBuddy(station_);
    form->addWidget(stationLabel, 3, 0);
    form->addWidget(station_, 3, 1, 1, 2);
    form->addWidget(new QLabel("Fingerprint:", box), 4, 0);
    fingerprint_ = new QLabel(kNoFingerprint, box);
    fingerprint_->setAccessibleName("Template fingerprint");
    fingerprint_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form->addWidget(fingerprint_, 4, 1, 1, 2);

    problems_ = new QTableWidget(0, 4, box);
    problems_->setHorizontalHeaderLabels({"Row", "Column", "Value", "Reason"});
    problems_->horizontalHeader()->setStretchLastSection(true);
    problems_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    problems_->setAccessibleName("Problems");
    problems_->setMaximumHeight(110);
    form->addWidget(problems_, 5, 0, 1, 3);

    auto* portsLabel =
        new QLabel("&Ports to use as slots (only checked ones are ever written):", box);
    ports_ = new QListWidget(box);
    ports_->setAccessibleName("Slots");
    portsLabel->setBuddy(ports_);
    FillPorts();
    // Adapters plugged in or out show while the station is not armed.
    new PortWatcher(
        [this] {
            if (armed_) return;
            FillPorts();
            UpdateControls();
        },
        this);
    connect(ports_, &QListWidget::itemChanged, this, [this] {
        SaveSlots();
        UpdateControls();
    });
    form->addWidget(portsLabel, 6, 0, 1, 3);
    form->addWidget(ports_, 7, 0, 1, 3);

    auto* how = new QHBoxLayout;
    rom_ = new QRadioButton("R&OM (store and reset)", box);
    ram_ = new QRadioButton("RA&M only", box);
    rom_->setChecked(true);
    rate_ = new QComboBox(box);
    rate_->addItem(kRateAsSettings, -1);
    for (int i = 0; i < 7; ++i)
        rate_->addItem(CUtilitySettingsPage::kBaudTexts[i], i);
    rate_->setAccessibleName("PC rate");
    auto* rateLabel = new QLabel("PC &rate:", box);
    rateLabel->setBuddy(rate_);
    for (QWidget* w : std::initializer_list<QWidget*>{rom_, ram_, rateLabel, rate_})
        how->addWidget(w);
    form->addLayout(how, 8, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    check_ = new QPushButton("&Check", box);
    start_ = new QPushButton("&Start", box);
    stopAll_ = new QPushButton("Stop &All", box);
    connect(check_, &QPushButton::clicked, this, &StationWindow::Check);
    connect(start_, &QPushButton::clicked, this, &StationWindow::Arm);
    connect(stopAll_, &QPushButton::clicked, this, &StationWindow::StopAll);
    for (QWidget* w : std::initializer_list<QWidget*>{check_, start_, stopAll_})
        buttons->addWidget(w);
    form->addLayout(buttons, 9, 0, 1, 3);
    status_ = new QLabel(box);
    status_->setWordWrap(true);
    status_->setAccessibleName("Status");
    form->addWidget(status_, 10, 0, 1, 3);
}

void StationWindow::BuildRun(QGroupBox* box) {
    auto* layout = new QVBoxLayout(box);
    counters_ = new QLabel(box);
    counters_->setAccessibleName("Counters");
    layout->addWidget(counters_);
    auto* scroll = new QScrollArea(box);
    scroll->setWidgetResizable(true);
    tilesArea_ = new QWidget(scroll);
    tilesLayout_ = new QGridLayout(tilesArea_);
    tilesLayout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    scroll->setWidget(tilesArea_);
    layout->addWidget(scroll);
    UpdateCounters();
}

void StationWindow::BuildLedger(QGroupBox* box) {
    ledgerBox_ = box;
    auto* layout = new QVBoxLayout(box);
    auto* bar = new QHBoxLayout;
    stateFilter_ = new QComboBox(box);
    stateFilter_->addItems(
        {kAllStates, Ledger::kDone, Ledger::kFailed, Ledger::kInterrupted, Ledger::kInProgress});
    stateFilter_->setAccessibleName("Show state");
    connect(stateFilter_, &QComboBox::currentIndexChanged, this, &StationWindow::RefreshLedger);
    auto* csv = new QPushButton("E&xport CSV...", box);
    auto* json = new QPushButton("Export &JSON...", box);
    for (auto [button, asJson] : {std::pair{csv, false}, std::pair{json, true}}) {
        connect(button, &QPushButton::clicked, this, [this, asJson] {
            QString path = QFileDialog::getSaveFileName(
                this, kTitle, {}, asJson ? "JSON lines (*.json)" : "CSV (*.csv)");
            QString error;
            if (!path.isEmpty() && !ExportLedger(path, asJson, error))
                QMessageBox::warning(this, kTitle, error);
        });
    }
    bar->addWidget(stateFilter_);
    bar->addStretch();
    bar->addWidget(csv);
    bar->addWidget(json);
    layout->addLayout(bar);
    ledgerTable_ = new QTableWidget(0, 9, box);
    ledgerTable_->setHorizontalHeaderLabels({"Row", "IP address", "Hardware address", "State",
                                             "Outcome", "Station", "Slot", "Time", "Fingerprint"});
    // The outcome, the one long text, takes the room the others leave.
    QHeaderView* header = ledgerTable_->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(4, QHeaderView::Stretch);
    // The fixed-form columns as wide as their longest value.
    const std::pair<int, const char*> widest[] = {
        {0, "Row 9999"},    {1, "000.000.000.000"},          {2, "00:00:00:00:00:00"},
        {3, "in progress"}, {7, "2026-12-31T23:59:59.999Z"}, {8, "0123456789ab"}};
    for (const auto& [column, text] : widest)
        header->resizeSection(column, fontMetrics().horizontalAdvance(text) + 16);
    ledgerTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ledgerTable_->verticalHeader()->hide();  // the row column says it
    ledgerTable_->setAccessibleName("Ledger");
    // A row's link trace opens from it (double click, or Enter on the row).
    connect(ledgerTable_, &QTableWidget::itemActivated, this, [this](QTableWidgetItem* item) {
        if (QTableWidgetItem* row = ledgerTable_->item(item->row(), 0))
            ShowTrace(row->text().toInt());
    });
    layout->addWidget(ledgerTable_);
}

namespace {

QString SlotsPath(const QString& given) {
    if (!given.isEmpty()) return given;
    std::string pins = DefaultPinsPath();
    if (pins.empty()) return {};
    return FromLatin1(pins.substr(0, pins.rfind('/') + 1)) + kSlotsFileName;
}

}  // namespace

void StationWindow::FillPorts() {
    // Checked stay checked; at first, the slots named on the command line, else those kept.
    QStringList on = setup_.ports;
    if (ports_->count() > 0) {
        on = CheckedPorts();
    } else if (on.isEmpty()) {
        QFile file(SlotsPath(setup_.slotsPath));
        if (file.open(QIODevice::ReadOnly))
            on = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QSignalBlocker quiet(ports_);
    ports_->clear();
    for (const SlotPort& p : FindSlotPorts(setup_.ports)) {
        auto* item = new QListWidgetItem(p.text, ports_);
        item->setData(Qt::UserRole, p.key);
        item->setData(Qt::UserRole + 1, p.shortName);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(on.contains(p.key) ? Qt::Checked : Qt::Unchecked);
    }
}

void StationWindow::SaveSlots() {
    QString path = SlotsPath(setup_.slotsPath);
    if (path.isEmpty()) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    for (const QString& key : CheckedPorts())
        file.write((key + '\n').toUtf8());
    file.commit();
}

QStringList StationWindow::CheckedPorts() const {
    QStringList keys;
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->checkState() == Qt::Checked)
            keys << ports_->item(i)->data(Qt::UserRole).toString();
    }
    return keys;
}

void StationWindow::UpdateControls() {
    for (QWidget* w : std::initializer_list<QWidget*>{template_, units_, ledgerEdit_, station_,
                                                      ports_, rom_, ram_, rate_, check_})
        w->setEnabled(!armed_);
    for (QPushButton* b : browse_)
        b->setEnabled(!armed_);
    start_->setEnabled(!armed_ && checkedClean_ && !CheckedPorts().isEmpty());
    stopAll_->setEnabled(armed_);
}

void StationWindow::Browse(QLineEdit* edit, const QString& filter, bool save) {
    // A server is no place to start looking for a file.
    QString from = IsServer(edit->text()) ? QString() : edit->text();
    QString path = save ? QFileDialog::getSaveFileName(this, kTitle, from, filter, nullptr,
                                                       QFileDialog::DontConfirmOverwrite)
                        : QFileDialog::getOpenFileName(this, kTitle, from, filter);
    if (path.isEmpty()) return;
    edit->setText(path);
    if (edit == ledgerEdit_) edit->setModified(true);
    if (edit == units_) FollowUnits(path);
    checkedClean_ = false;
    UpdateControls();
}

// A ledger file nobody chose follows the units to their folder; a server stays.
void StationWindow::FollowUnits(const QString& unitsPath) {
    if (!ledgerEdit_->isModified() && !IsServer(ledgerEdit_->text()))
        ledgerEdit_->setText(DefaultLedger(unitsPath));
}

std::unique_ptr<Ledger> StationWindow::OpenLedger(bool readOnly, std::string& error) const {
    const std::string where = ToLatin1(ledgerEdit_->text());
    // Refused before anything is opened: the URI would show in the process list and logs.
    if (Ledger::HasPassword(where)) {
        error = Ledger::Shown(where) + ": " + Ledger::kPasswordInUri;
        return nullptr;
    }
    Ledger::OpenOptions o;
    o.readOnly = readOnly;
    o.batch = Ledger::DefaultBatch(ToLatin1(units_->text()));
    o.station = ToLatin1(station_->text().trimmed());
    return Ledger::Open(where, o, error);
}

void StationWindow::AddProblem(const QString& row, const QString& column, const QString& value,
                               const QString& reason) {
    int r = problems_->rowCount();
    problems_->insertRow(r);
    int c = 0;
    for (const QString& text : {row, column, value, reason})
        problems_->setItem(r, c++, new QTableWidgetItem(text));
}

// Problems as the check words them, one a line: "FILE: row N (line L), column C ("V"): reason".
void StationWindow::AddProblemText(const std::string& text) {
    static const QRegularExpression kWhere(
        R"re(row (\d+) \(line \d+\)(?:, column ([^ :]+)(?: \("(.*)"\))?)?: (.*)$)re");
    for (const QString& line : FromLatin1(text).split('\n', Qt::SkipEmptyParts)) {
        QRegularExpressionMatch m = kWhere.match(line);
        if (m.hasMatch()) {
            AddProblem(m.captured(1), m.captured(2), m.captured(3), m.captured(4));
        } else {
            AddProblem({}, {}, {}, line);
        }
    }
}

bool StationWindow::Check() {
    problems_->setRowCount(0);
    plan_ = {};
    ledger_.reset();
    std::string error;
    bool planned = BuildUnitPlan(ToLatin1(template_->text()), ToLatin1(units_->text()), plan_,
                                 error) == PlanResult::Ok;
    if (!planned) AddProblemText(error);
    // Read-only: checking writes nothing; Start opens it for writing. The view shows what this
    // reader finds, so a server is asked once.
    std::unique_ptr<Ledger> reader = OpenLedger(true, error);
    if (!reader) {
        AddProblem({}, {}, {}, FromLatin1(error));
    } else if (planned && !reader->CheckPlan(plan_, false, error)) {
        AddProblemText(error);
    }
    checkedClean_ = problems_->rowCount() == 0;
    fingerprint_->setText(plan_.fingerprint.empty() ? kNoFingerprint
                                                    : FromLatin1(plan_.fingerprint));
    status_->setText(checkedClean_ ? QString("%1 rows checked clean.").arg(plan_.units.size())
                                   : QString("%1 problem(s).").arg(problems_->rowCount()));
    ledgerBox_->setTitle(
        IsServer(ledgerEdit_->text())
            ? QString(kBatchTitle).arg(FromLatin1(Ledger::DefaultBatch(ToLatin1(units_->text()))))
            : QString(kLedgerTitle));
    ShowLedger(reader.get());
    UpdateCounters();
    UpdateControls();
    return checkedClean_;
}

bool StationWindow::Arm() {
    if (armed_ || !checkedClean_) return false;
    QStringList ports = CheckedPorts();
    if (ports.isEmpty()) {
        status_->setText(kNoSlot);
        return false;
    }
    std::string error;
    ledger_ = OpenLedger(false, error);
    if (!ledger_ || !ledger_->CheckPlan(plan_, false, error)) {
        ledger_.reset();
        checkedClean_ = false;
        AddProblemText(error);
        status_->setText(QString("%1 problem(s).").arg(problems_->rowCount()));
        UpdateControls();
        return false;
    }
    // One tile per slot, in socket order.
    for (auto& [key, tile] : tiles_)
        delete tile;
    tiles_.clear();
    ProvisionOptions o;
    int n = 0;
    for (int i = 0; i < ports_->count(); ++i) {
        QListWidgetItem* item = ports_->item(i);
        if (item->checkState() != Qt::Checked) continue;
        QString key = item->data(Qt::UserRole).toString();
        auto* tile = new SlotTile(
            QString("Slot %1: %2").arg(n + 1).arg(item->data(Qt::UserRole + 1).toString()), key,
            tilesArea_);
        connect(tile, &SlotTile::stopRequested, this, [this](const QString& port) {
            if (provisioner_) provisioner_->Stop(ToLatin1(port));
        });
        connect(tile, &SlotTile::retryRequested, this, [this](const QString& port) {
            if (provisioner_) provisioner_->Retry(ToLatin1(port));
        });
        connect(tile, &SlotTile::traceRequested, this, [this](int row) { ShowTrace(row); });
        tilesLayout_->addWidget(tile, n / 4, n % 4);
        tiles_[key] = tile;
        o.ports.push_back(ToLatin1(key));
        ++n;
    }
    o.baudIndex = rate_->currentData().toInt();
    o.ram = ram_->isChecked();
    o.watch = true;
    o.pauseScale = setup_.pauseScale;
    o.probeIntervalMs = setup_.probeIntervalMs;
    done_ = failed_ = 0;
    armedAtMs_ = QDateTime::currentMSecsSinceEpoch();
    stop_ = false;
    armed_ = true;
    provisioner_ = std::make_unique<Provisioner>(plan_, *ledger_, o, *relay_);
    run_ = std::thread([this] {
        provisioner_->Run(stop_);
        QMetaObject::invokeMethod(this, &StationWindow::RunEnded, Qt::QueuedConnection);
    });
    repaint_->start();
    status_->setText("Armed: plug modules in.");
    UpdateControls();
    RefreshLedger();
    UpdateCounters();
    return true;
}

void StationWindow::StopAll() {
    stop_ = true;
}

void StationWindow::StopRun() {
    stop_ = true;
    if (run_.joinable()) run_.join();
}

void StationWindow::RunEnded() {
    if (!armed_) return;
    StopRun();
    Drain();
    repaint_->stop();
    provisioner_.reset();
    armed_ = false;
    RefreshLedger();
    UpdateCounters();
    status_->setText(remaining_ == 0 ? "Every row is done." : "Stopped.");
    UpdateControls();
    emit disarmed();
}

SlotTile* StationWindow::Tile(const QString& port) const {
    auto it = tiles_.find(port);
    return it == tiles_.end() ? nullptr : it->second;
}

void StationWindow::Drain() {
    for (const FleetEvent& e : relay_->Take()) {
        if (SlotTile* tile = Tile(FromLatin1(e.port))) tile->Apply(e);
        if (e.phase == UnitPhase::Done) ++done_;
        if (e.phase == UnitPhase::Failed || e.phase == UnitPhase::PortFailed) ++failed_;
        if (IsFinalPhase(e.phase) || e.phase == UnitPhase::Identifying) ledgerChanged_ = true;
    }
    for (auto& [key, tile] : tiles_)
        tile->Show();
    if (ledgerChanged_) RefreshLedger();
    UpdateCounters();
}

void StationWindow::UpdateCounters() {
    int remaining = remaining_;
    QString text = QString("Done: %1   Failed: %2   Remaining rows: %3")
                       .arg(done_)
                       .arg(failed_)
                       .arg(remaining);
    double hours = (QDateTime::currentMSecsSinceEpoch() - armedAtMs_) / 3.6e6;
    if (armed_ && done_ > 0 && hours > 0) {
        double perHour = done_ / hours;
        int etaMin = static_cast<int>(remaining / perHour * 60 + 0.5);
        text += QString("   Units per hour: %1   Finished in about %2 min")
                    .arg(perHour, 0, 'f', 0)
                    .arg(etaMin);
    }
    counters_->setText(text);
}

void StationWindow::RefreshLedger() {
    std::string error;
    std::unique_ptr<Ledger> reader;
    if (!ledger_) reader = OpenLedger(true, error);
    ShowLedger(ledger_ ? ledger_.get() : reader.get());
}

void StationWindow::ShowLedger(Ledger* ledger) {
    ledgerChanged_ = false;
    std::string error;
    int total = static_cast<int>(plan_.units.size());
    remaining_ = ledger ? total - ledger->DoneRows(plan_) : total;
    std::vector<Ledger::Entry> entries;
    if (ledger) entries = ledger->Report(error);
    QString only = stateFilter_->currentIndex() == 0 ? QString() : stateFilter_->currentText();
    ledgerTable_->setRowCount(0);
    for (const Ledger::Entry& e : entries) {
        if (!only.isEmpty() && FromLatin1(e.state) != only) continue;
        int r = ledgerTable_->rowCount();
        ledgerTable_->insertRow(r);
        int c = 0;
        for (const std::string& text :
             {std::to_string(e.row), e.ip, e.hw, e.state, e.outcome, e.station, e.port,
              e.finishedAt.empty() ? e.assignedAt : e.finishedAt, e.templateFingerprint})
            ledgerTable_->setItem(r, c++, new QTableWidgetItem(FromLatin1(text)));
    }
}

QWidget* StationWindow::ShowTrace(int row) {
    std::string why;
    auto reader = OpenLedger(true, why);
    std::optional<std::string> trace;
    if (reader) trace = reader->Trace(row);
    if (!trace) {
        status_->setText(reader ? QString("Row %1 has no link trace in the ledger.").arg(row)
                                : FromLatin1(why));
        return nullptr;
    }
    auto* view = new QPlainTextEdit(FromLatin1(*trace));
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setWindowTitle(QString("Link trace of row %1").arg(row));
    view->setAccessibleName(view->windowTitle());
    view->resize(760, 480);
    view->show();
    return view;
}

bool StationWindow::ExportLedger(const QString& path, bool json, QString& error) {
    std::string why;
    auto reader = OpenLedger(true, why);
    std::vector<Ledger::Entry> entries;
    if (reader) entries = reader->Report(why);
    if (!why.empty()) {
        error = FromLatin1(why);
        return false;
    }
    std::string text = json ? LedgerJson(entries) : LedgerCsv(entries);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) < 0 || !file.commit()) {
        error = path + ": " + file.errorString();
        return false;
    }
    return true;
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (armed_ && !confirmClose()) {
        event->ignore();
        return;
    }
    // Every unit in flight ends after its current request, recorded as interrupted.
    RunEnded();
    event->accept();
}
