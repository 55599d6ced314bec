#include "gui/ip_addr_page_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/control_binding.h"
#include "gui/masked_edit_widget.h"
#include "pages/ip_addr_page.h"

namespace {

QComboBox* MakeList(CComboBox& model, const char* name, QWidget* parent) {
    auto* w = new QComboBox(parent);
    w->setObjectName(name);
    w->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Bind(model, w);
    return w;
}

QCheckBox* MakeCheck(CCheckBox& model, const char* name, QWidget* parent) {
    auto* w = new QCheckBox(parent);
    w->setObjectName(name);
    Bind(model, w);
    return w;
}

}  // namespace

IpAddrPageView::IpAddrPageView(CIpAddrPage& page, QWidget* parent) : QWidget(parent), page_(page) {
    setObjectName("ipAddrPage");

    // Serial rate, series, Ethernet and routing.
    auto* lists = new QGridLayout;
    struct {
        const char* label;
        CComboBox& model;
        const char* name;
    } rows[] = {{"232 Baud Rate", page_.BaudList(), "baudList"},
                {"QOR Series", page_.SeriesList(), "seriesList"},
                {"Ethernet Speed/Duplex", page_.SpeedList(), "speedList"}};
    int row = 0;
    for (auto& r : rows) {
        QComboBox* list = MakeList(r.model, r.name, this);
        auto* label = new QLabel(r.label, this);
        label->setBuddy(list);
        lists->addWidget(label, row, 0);
        lists->addWidget(list, row, 1);
        ++row;
    }
    lists->addWidget(MakeCheck(page_.RoutingCheck(), "routingCheck", this), row++, 0, 1, 2);
    // Never shown; it only carries its state.
    lists->addWidget(MakeCheck(page_.SeriesBCheck(), "seriesBCheck", this), row++, 0, 1, 2);
    lists->setRowStretch(row, 1);

    // IP configuration: the BootP variants stand indented under BootP.
    auto* modeFrame = new QFrame(this);
    modeFrame->setFrameShape(QFrame::StyledPanel);
    auto* modes = new QVBoxLayout(modeFrame);
    modes->addWidget(MakeCheck(page_.BootpCheck(), "bootpCheck", modeFrame));
    for (auto [model, name] : {std::pair<CCheckBox*, const char*>{&page_.AlwaysCheck(), "alwaysCheck"},
                               {&page_.FallbackCheck(), "fallbackCheck"}}) {
        auto* indent = new QHBoxLayout;
        indent->addSpacing(fontMetrics().averageCharWidth() * 3);
        indent->addWidget(MakeCheck(*model, name, modeFrame));
        modes->addLayout(indent);
    }
    modes->addWidget(MakeCheck(page_.DhcpCheck(), "dhcpCheck", modeFrame));
    modes->addStretch();

    // The five addresses.
    auto* addresses = new QGridLayout;
    const char* labels[5] = {"QOR IP Address", "Subnet Mask", "Gateway", "Security Mask 1",
                             "Security Mask 2"};
    const char* names[5] = {"ipAddressEdit", "subnetMaskEdit", "gatewayEdit",
                            "securityMask1Edit", "securityMask2Edit"};
    for (int i = 0; i < 5; ++i) {
        auto* edit = new MaskedEditWidget(page_.AddressEdit(i), this);
        edit->setObjectName(names[i]);
        edit->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000.0000.0000.0000")));
        auto* label = new QLabel(labels[i], this);
        label->setBuddy(edit);
        addresses->addWidget(label, i, 0);
        addresses->addWidget(edit, i, 1);
    }
    addresses->setRowStretch(5, 1);

    auto* columns = new QHBoxLayout(this);
    columns->addLayout(lists);
    columns->addWidget(modeFrame);
    columns->addLayout(addresses);
}
