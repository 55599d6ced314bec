#include "gui/utility_settings_page_view.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/module_scan.h"
#include "gui/control_binding.h"
#include "gui/find_module_dialog.h"
#include "gui/masked_edit_widget.h"
#include "gui/port_watcher.h"
#include "gui/station_window.h"
#include "pages/utility_settings_page.h"

namespace {

constexpr int kPortListChars = 40;

QGroupBox* MakeChoices(const char* title, CRadioGroup& model, const char* name, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    auto* layout = new QVBoxLayout(box);
    QList<QRadioButton*> buttons;
    for (int i = 0; i < model.Count(); ++i) {
        auto* b = new QRadioButton(box);
        b->setObjectName(QStringLiteral("%1%2").arg(name).arg(i));
        layout->addWidget(b);
        buttons.append(b);
    }
    layout->addStretch();
    Bind(model, buttons);
    return box;
}

}  // namespace

UtilitySettingsPageView::UtilitySettingsPageView(CUtilitySettingsPage& page, QWidget* parent)
    : QWidget(parent), page_(page) {
    setObjectName("utilitySettingsPage");

    auto* port = new QComboBox(this);
    port->setObjectName("comPortList");
    port->setMaxVisibleItems(16);
    // Entries name adapters and devices: wide enough for most, the list as wide as the longest,
    // and a plug or unplug does not reflow the page.
    port->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    port->setMinimumContentsLength(kPortListChars);
    Bind(page_.ComPortList(), port);
    auto* find = new QPushButton("Find &Module...", this);
    find->setObjectName("findModuleButton");
    connect(find, &QPushButton::clicked, this, [this] { FindModule(); });
    auto fitList = [port] {
        port->view()->setMinimumWidth(port->view()->sizeHintForColumn(0) +
                                      2 * port->view()->frameWidth());
    };
    fitList();
    auto* baud = new QComboBox(this);
    baud->setObjectName("baudList");
    Bind(page_.BaudList(), baud);
    // The station is a window of its own, on ports of its own: this window's link is untouched.
    auto* station = new QPushButton("Pro&visioning Station...", this);
    station->setObjectName("stationButton");
    connect(station, &QPushButton::clicked, this, [] {
        auto* window = new StationWindow({});
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });

    // Adapters plugged in or out show in the list while the window is open.
    new PortWatcher(
        [this, fitList] {
            if (page_.RefreshPorts()) fitList();
        },
        this);

    auto* mask = new MaskedEditWidget(page_.SecurityMaskEdit(), this);
    mask->setObjectName("securityMaskEdit");
    mask->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.0000.0000.0000")));

    auto* link = new QGridLayout;
    auto addRow = [&](int row, const char* text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        link->addWidget(label, row, 0);
        // Only the port list takes the column's width; the others keep their own.
        link->addWidget(field, row, 1, row == 0 ? Qt::Alignment() : Qt::AlignLeft);
    };
    addRow(0, "COM Port", port);
    link->addWidget(find, 0, 2);
    link->addWidget(station, 1, 2);
    addRow(1, "Baud Rate", baud);
    addRow(2, "Configuration Security Mask", mask);
    link->setColumnStretch(3, 1);  // the button keeps its size beside the list

    auto* choices = new QHBoxLayout;
    choices->addWidget(
        MakeChoices("Parameter Upload Behavior", page_.UploadGroup(), "uploadGroup", this));
    choices->addWidget(
        MakeChoices("Parameter Download Behavior", page_.DownloadGroup(), "downloadGroup", this));
    choices->addStretch();

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(link);
    outer->addLayout(choices);
    outer->addStretch();
}

UtilitySettingsPageView::~UtilitySettingsPageView() = default;

void UtilitySettingsPageView::FindModule() {
    // The scan opens every port itself, so the window goes offline and lets go of its port; the
    // next command connects again.
    page_.GoOffline();
    FindModuleDialog dialog(PresentScanPorts(), page_.BaudList().GetCurSel(), UseOnPage(page_),
                            this);
    dialog.exec();
}
