#include "gui/find_module_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/control_binding.h"
#include "link/port_map.h"
#include "pages/utility_settings_page.h"

namespace {

enum Column { kPortColumn, kAdapterColumn, kResultColumn };

bool IsFound(const ScanResult& r) {
    return r.outcome == ScanResult::Outcome::Module;
}

}  // namespace

// Carries the scan's reports from the ports' threads into the dialog's own.
class FindModuleDialog::Relay : public ScanObserver {
public:
    explicit Relay(FindModuleDialog* dialog) : dialog_(dialog) {}
    void RateStarted(size_t port, uint32_t rate) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_, port, rate] { d->RateStarted(port, rate); },
            Qt::QueuedConnection);
    }
    void PortFinished(size_t port, const ScanResult& result) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_, port, result] { d->PortFinished(port, result); },
            Qt::QueuedConnection);
    }

private:
    FindModuleDialog* dialog_;
};

QString ScanResultText(const ScanResult& r) {
    using O = ScanResult::Outcome;
    switch (r.outcome) {
        case O::Module:
            return QStringLiteral("%1 at %2 baud, firmware %3, series %4%5, %6")
                .arg(r.web ? "QORW" : "QOR")
                .arg(r.rate)
                .arg(FromLatin1(r.firmware), FromLatin1(r.series),
                     r.web ? QStringLiteral(", web pages") : QString(),
                     FromLatin1(r.hardwareAddress));
        case O::Nothing: {
            QStringList rates;
            for (uint32_t rate : r.ratesTried)
                rates << QString::number(rate);
            return QStringLiteral("No module (tried %1)").arg(rates.join(' '));
        }
        case O::PortFailed:
            return QStringLiteral("Cannot open: %1").arg(FromLatin1(r.error));
        case O::Unidentified:
            return QStringLiteral("Answered at %1 baud, then: %2")
                .arg(r.rate)
                .arg(FromLatin1(r.error).replace('\n', ' '));
        case O::Stopped:
            return QStringLiteral("Cancelled");
        case O::PortGone:
            return FromLatin1(r.error).replace('\n', ' ');
    }
    return {};
}

FindModuleDialog::FindModuleDialog(std::vector<ScanPort> ports, int firstBaudIndex, Use use,
                                   QWidget* parent)
    : QDialog(parent),
      results_(ports.size()),
      done_(ports.size(), false),
      use_(std::move(use)),
      list_(new QTreeWidget(this)),
      status_(new QLabel(this)),
      useButton_(new QPushButton("&Use", this)),
      closeButton_(new QPushButton("Cancel", this)),
      relay_(std::make_unique<Relay>(this)) {
    setObjectName("findModuleDialog");
    setWindowTitle(kTitle);

    list_->setObjectName("scanList");
    list_->setAccessibleName("Ports");
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({"Port", "Adapter", "Result"});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(true);
    for (const ScanPort& p : ports) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(kPortColumn, FromLatin1(p.device));
        item->setText(kAdapterColumn, FromLatin1(p.label));
        item->setText(kResultColumn, "Waiting");
    }
    status_->setObjectName("scanStatus");
    status_->setWordWrap(true);
    useButton_->setObjectName("useButton");
    closeButton_->setObjectName("cancelButton");
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(useButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(closeButton_, QDialogButtonBox::RejectRole);
    // Only a choice among several modules needs it.
    useButton_->setEnabled(false);
    useButton_->hide();
    connect(useButton_, &QPushButton::clicked, this, [this] { UseSelected(); });
    connect(closeButton_, &QPushButton::clicked, this, &FindModuleDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { ShowChoice(); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] {
        if (useButton_->isEnabled()) UseSelected();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    QFontMetrics fm = fontMetrics();
    resize(fm.averageCharWidth() * 120, fm.height() * (8 + static_cast<int>(ports.size())));

    if (ports.empty()) {
        status_->setText(kNoPorts);
        closeButton_->setText("Close");
        return;
    }
    status_->setText(QStringLiteral("Looking for a module on %1 port(s) at every baud rate...")
                         .arg(ports.size()));
    scanning_ = true;
    scan_ = std::make_unique<ModuleScan>(std::move(ports), firstBaudIndex, relay_.get());
    scan_->Start();
}

FindModuleDialog::~FindModuleDialog() {
    // The threads report to the relay: they must be gone before it is.
    scan_.reset();
}

void FindModuleDialog::reject() {
    if (scan_) {
        scan_->Cancel();
        scan_->Wait();
    }
    scanning_ = false;
    QDialog::reject();
}

void FindModuleDialog::RateStarted(size_t port, uint32_t rate) {
    if (done_[port]) return;
    list_->topLevelItem(static_cast<int>(port))
        ->setText(kResultColumn, QStringLiteral("Trying %1 baud...").arg(rate));
}

void FindModuleDialog::PortFinished(size_t port, const ScanResult& result) {
    if (!scanning_) return;
    results_[port] = result;
    done_[port] = true;
    list_->topLevelItem(static_cast<int>(port))->setText(kResultColumn, ScanResultText(result));
    FitWidth();
    if (std::all_of(done_.begin(), done_.end(), [](bool d) { return d; })) Finish();
}

void FindModuleDialog::FitWidth() {
    // Every result readable whole, as far as the screen allows.
    int wanted = list_->header()->length() + 2 * list_->frameWidth() +
                 list_->verticalScrollBar()->sizeHint().width() +
                 layout()->contentsMargins().left() + layout()->contentsMargins().right();
    if (QScreen* s = screen()) wanted = std::min(wanted, s->availableGeometry().width());
    if (wanted > width()) resize(wanted, height());
}

void FindModuleDialog::Finish() {
    scan_->Wait();
    scanning_ = false;
    closeButton_->setText("Close");
    int found = static_cast<int>(std::count_if(results_.begin(), results_.end(), IsFound));
    if (found == 1) {
        auto it = std::find_if(results_.begin(), results_.end(), IsFound);
        list_->setCurrentItem(list_->topLevelItem(static_cast<int>(it - results_.begin())));
        QString told;
        use_(*it, told);
        status_->setText(told);
    } else if (found > 1) {
        status_->setText(kPickOne);
        useButton_->show();
        ShowChoice();
        list_->setFocus();
    } else {
        bool noneOpened = std::all_of(results_.begin(), results_.end(), [](const ScanResult& r) {
            return r.outcome == ScanResult::Outcome::PortFailed ||
                   r.outcome == ScanResult::Outcome::PortGone;
        });
        status_->setText(noneOpened ? kNoPortOpened : kNoModule);
    }
    emit scanFinished();
}

void FindModuleDialog::ShowChoice() {
    int row = list_->indexOfTopLevelItem(list_->currentItem());
    useButton_->setEnabled(!scanning_ && row >= 0 && IsFound(results_[row]));
}

void FindModuleDialog::UseSelected() {
    int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (scanning_ || row < 0 || !IsFound(results_[row])) return;
    QString told;
    bool used = use_(results_[row], told);
    status_->setText(told);
    if (used) accept();
}

FindModuleDialog::Use UseOnPage(CUtilitySettingsPage& page) {
    return [&page](const ScanResult& r, QString& told) {
        int com = ComPortForDevice(r.device);
        bool pinned = com == 0 && (com = ProgramPortMap().PinToFreeNumber(r.device)) != 0;
        if (com == 0) {
            told = QString(FindModuleDialog::kNoComPort).arg(FromLatin1(r.device));
            return false;
        }
        if (pinned) page.RefreshPorts();
        page.ComPortList().Select(com - 1);
        page.BaudList().Select(r.baudIndex);
        told = pinned ? QString(FindModuleDialog::kPinned)
                            .arg(com)
                            .arg(FromLatin1(r.label.empty() ? r.device : r.label))
                            .arg(r.rate)
                      : QString(FindModuleDialog::kUsed).arg(com).arg(r.rate);
        return true;
    };
}
