#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/control.h"
#include "controls/ip_addr_edit.h"
#include "pages/config_page.h"

class CPageHost;

// The "QOR IP Addr" tab: the module's serial rate, addresses, IP configuration and series.
//
// The controls are interlocked: which IP configuration options can be changed depends on the
// series and on the mode; every path that sets the mode leaves the four mode check boxes as
// ApplyModeRule does.
class CIpAddrPage : public CConfigPage {
public:
    enum Mode { kModeBootp = 0, kModeSoft = 1, kModeBootpFallback = 2, kModeBootpAlways = 3,
                kModeDhcp = 4, kModeCount = 5 };
    enum Series { kSeriesA = 0, kSeriesBC = 1, kSeriesD = 2 };

    static constexpr const char* kBaudTexts[8] = {"Auto", "1200",  "2400",  "4800",
                                                  "9600", "19200", "38400", "57600"};
    static constexpr const char* kSeriesTexts[3] = {"A", "B/C", "D"};
    static constexpr const char* kSpeedTexts[5] = {
        "Auto Negotiate", "10 Mbps half-duplex", "10 Mbps full-duplex", "100 Mbps half-duplex",
        "100 Mbps full-duplex"};
    // The mode's form in the document and in the text file.
    static constexpr const char* kModeTexts[kModeCount] = {"Bootp", "Soft", "Bootp Fallback",
                                                           "Bootp Always", "DHCP"};

    explicit CIpAddrPage(CPageHost& host);

    // --- CConfigPage
    void ExchangeDcf(CDcfArchive& archive) override;
    void LoadDefaults() override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void StoreToDocument(QorDoc& doc, bool force) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void ReadSection(CConfigTextReader& reader) override;
    bool DiffersFromDocument(QorDoc& doc) override;
    bool TakeControlValues() override;

    // --- the controls, for the view and for tests acting as the user
    CComboBox& BaudList() { return baud_; }
    CComboBox& SeriesList() { return series_; }
    CComboBox& SpeedList() { return speed_; }
    CCheckBox& RoutingCheck() { return routing_; }
    CCheckBox& BootpCheck() { return bootp_; }
    CCheckBox& AlwaysCheck() { return always_; }
    CCheckBox& FallbackCheck() { return fallback_; }
    CCheckBox& DhcpCheck() { return dhcp_; }
    CCheckBox& SeriesBCheck() { return seriesB_; }
    CIPAddrEdit& IpAddressEdit() { return ipAddress_; }
    CIPAddrEdit& SubnetMaskEdit() { return subnetMask_; }
    CIPAddrEdit& GatewayEdit() { return gateway_; }
    CIPAddrEdit& SecurityMask1Edit() { return securityMask1_; }
    CIPAddrEdit& SecurityMask2Edit() { return securityMask2_; }
    // 0..4: IP address, subnet mask, gateway, security mask 1, security mask 2.
    CIPAddrEdit& AddressEdit(int i) { return *addrEdits_.at(i); }

    // --- the members, as the last data exchange left them
    int32_t Mode() const { return mode_; }
    int32_t SeriesIndex() const { return seriesIndex_; }
    int32_t BaudIndex() const { return baudIndex_; }
    int32_t SpeedIndex() const { return speedIndex_; }
    int32_t RoutingFlag() const { return routingFlag_; }
    int32_t SeriesBFlag() const { return seriesBFlag_; }
    const std::array<uint8_t, 4>& Address(int i) const { return addr_.at(i); }

    // Sets the mode with the check boxes and their enabled states of the control-state rule.
    void ApplyModeRule(int mode, bool seriesA);
    // The mode of a text of kModeTexts, or -1.
    static int ModeOfText(const std::string& text);
    // The revision after the first "FW=" of an identification text; 0 without one.
    static double FirmwareRevision(const std::string& identification);
    // The series a module of that firmware revision is: kSeriesA, kSeriesBC or kSeriesD.
    static Series SeriesOfRevision(double revision);
    // The firmware revision as the identification text carries it after "FW=", up to white
    // space ("03.12"); empty without one.
    static std::string FirmwareText(const std::string& identification);
    // Selects the first item that begins with text, ignoring case; false (selection left as it
    // was) when none does.
    static bool SelectPrefix(CComboBox& list, const std::string& text);

private:
    void OnBootp();
    void OnAlways();
    void OnFallback();
    void OnDhcp();
    void OnRouting();
    void OnListChange();
    void OnSeries();
    // Shows the members in the controls.
    void ShowMembers();
    // The state after a .dcf record was read.
    void AfterDcfLoad();
    const char* ModeText() const;

    CPageHost& host_;

    CComboBox baud_;
    CComboBox series_;
    CComboBox speed_;
    CCheckBox routing_{"Trellan Routing"};
    CCheckBox bootp_{"Obtain via BootP"};
    CCheckBox always_{"Always"};
    CCheckBox fallback_{"Fallback"};
    CCheckBox dhcp_{"Obtain via DHCP"};
    CCheckBox seriesB_{"Enable Series B Options"};
    CIPAddrEdit ipAddress_;
    CIPAddrEdit subnetMask_;
    CIPAddrEdit gateway_;
    CIPAddrEdit securityMask1_;
    CIPAddrEdit securityMask2_;
    std::array<CIPAddrEdit*, 5> addrEdits_;

    int32_t baudIndex_ = 0;
    int32_t speedIndex_ = 0;
    int32_t seriesIndex_ = 0;
    int32_t bootpFlag_ = 1;
    int32_t dhcpFlag_ = 0;
    int32_t alwaysFlag_ = 0;
    int32_t fallbackFlag_ = 0;
    int32_t routingFlag_ = 0;
    int32_t seriesBFlag_ = 0;
    int32_t mode_ = kModeBootp;
    std::array<std::array<uint8_t, 4>, 5> addr_{};
};
