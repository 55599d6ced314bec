#include "pages/ip_addr_page.h"

#include <cctype>
#include <charconv>

#include "pages/page_host.h"
#include "host/ui_host.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "model/qor_doc.h"

namespace {

// Keys of the text file.
constexpr const char* kQorHeader = "[QorConfiguration]";
constexpr const char* kCommsHeader = "[COMMS]";
constexpr const char* kTcpipHeader = "[TCPIP]";
constexpr const char* kKeyBaud = "Baud: ";
constexpr const char* kKeySpeed = "Ethernet Speed/Duplex: ";
constexpr const char* kKeyRouting = "EnableRouting: ";
constexpr const char* kKeySeries = "Series: ";
constexpr const char* kKeySeriesB = "SeriesB: ";
constexpr const char* kKeyIpConfig = "IpConfig: ";
constexpr const char* kKeyBootp = "BootP: ";
constexpr const char* kAddressKeys[5] = {"IPAddress: ", "SubnetMask: ", "Gateway: ",
                                         "SecurityMask1: ", "SecurityMask2: "};

constexpr const char* kYes = "YES";
constexpr const char* kNo = "NO";

// The revision below which a module is series A, and the last revision of series B/C.
constexpr double kFirstSeriesBRevision = 2.0;
constexpr double kLastSeriesBCRevision = 3.12;

const char* YesNo(bool on) { return on ? kYes : kNo; }

bool ValidIndex(int32_t v, int count) { return v >= 0 && v < count; }

}  // namespace

CIpAddrPage::CIpAddrPage(CPageHost& host)
    : host_(host),
      ipAddress_(host.Ui(), IpFieldKind::HostAddress),
      subnetMask_(host.Ui(), IpFieldKind::SubnetMask),
      gateway_(host.Ui(), IpFieldKind::HostAddress),
      securityMask1_(host.Ui(), IpFieldKind::PlainMask),
      securityMask2_(host.Ui(), IpFieldKind::PlainMask),
      addrEdits_{&ipAddress_, &subnetMask_, &gateway_, &securityMask1_, &securityMask2_} {
    for (const char* t : kBaudTexts) baud_.AddString(t);
    for (const char* t : kSeriesTexts) series_.AddString(t);
    for (const char* t : kSpeedTexts) speed_.AddString(t);
    ipAddress_.SetSubnetField(&subnetMask_);
    // The entries keep their own checks; the page only follows up on the status field.
    for (CIPAddrEdit* e : addrEdits_) {
        e->onLeave = [this](CMaskedEdit::LeaveNotify&) { host_.RefreshStatus(); };
        e->onChange = [this] { host_.RefreshStatus(); };
    }
    seriesB_.Show(false);

    bootp_.onClick = [this] { OnBootp(); };
    always_.onClick = [this] { OnAlways(); };
    fallback_.onClick = [this] { OnFallback(); };
    dhcp_.onClick = [this] { OnDhcp(); };
    routing_.onClick = [this] { OnRouting(); };
    baud_.onSelChange = [this] { OnListChange(); };
    speed_.onSelChange = [this] { OnListChange(); };
    series_.onSelChange = [this] { OnSeries(); };

    LoadDefaults();
}

// ---- helpers

int CIpAddrPage::ModeOfText(const std::string& text) {
    for (int m = 0; m < kModeCount; ++m) {
        if (text == kModeTexts[m]) return m;
    }
    return -1;
}

const char* CIpAddrPage::ModeText() const {
    return kModeTexts[ValidIndex(mode_, kModeCount) ? mode_ : kModeBootp];
}

double CIpAddrPage::FirmwareRevision(const std::string& identification) {
    size_t at = identification.find("FW=");
    if (at == std::string::npos) return 0.0;
    std::string digits = identification.substr(at + 3, 5);
    size_t i = 0;
    while (i < digits.size() && (digits[i] == ' ' || digits[i] == '+')) ++i;
    double r = 0.0;
    // Locale-independent: the module writes a '.', whatever the desktop's decimal sign.
    std::from_chars(digits.data() + i, digits.data() + digits.size(), r,
                    std::chars_format::fixed);
    return r;
}

std::string CIpAddrPage::FirmwareText(const std::string& identification) {
    size_t at = identification.find("FW=");
    if (at == std::string::npos) return {};
    at += 3;
    size_t end = at;
    while (end < identification.size() &&
           !std::isspace(static_cast<unsigned char>(identification[end])))
        ++end;
    return identification.substr(at, end - at);
}

bool CIpAddrPage::SelectPrefix(CComboBox& list, const std::string& text) {
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& item = list.ItemText(i);
        if (item.size() < text.size()) continue;
        bool match = true;
        for (size_t k = 0; match && k < text.size(); ++k) {
            match = std::tolower(static_cast<unsigned char>(item[k])) ==
                    std::tolower(static_cast<unsigned char>(text[k]));
        }
        if (match) {
            list.SetCurSel(i);
            return true;
        }
    }
    return false;
}

void CIpAddrPage::ApplyModeRule(int mode, bool seriesA) {
    if (!ValidIndex(mode, kModeCount)) return;
    bool bootp = mode == kModeBootp || mode == kModeBootpFallback || mode == kModeBootpAlways;
    bootp_.SetCheck(bootp);
    fallback_.SetCheck(mode == kModeBootpFallback);
    always_.SetCheck(mode == kModeBootpAlways);
    dhcp_.SetCheck(mode == kModeDhcp);
    bootp_.Enable(mode != kModeDhcp);
    fallback_.Enable(mode == kModeBootp ? !seriesA : mode == kModeBootpFallback);
    always_.Enable(mode == kModeBootp ? !seriesA : mode == kModeBootpAlways);
    dhcp_.Enable(mode == kModeSoft ? !seriesA : mode == kModeDhcp);
    bootpFlag_ = bootp;
    fallbackFlag_ = mode == kModeBootpFallback;
    alwaysFlag_ = mode == kModeBootpAlways;
    dhcpFlag_ = mode == kModeDhcp;
    mode_ = mode;
}

void CIpAddrPage::ShowMembers() {
    baud_.SetCurSel(baudIndex_);
    speed_.SetCurSel(speedIndex_);
    series_.SetCurSel(seriesIndex_);
    bootp_.SetCheck(bootpFlag_ != 0);
    dhcp_.SetCheck(dhcpFlag_ != 0);
    always_.SetCheck(alwaysFlag_ != 0);
    fallback_.SetCheck(fallbackFlag_ != 0);
    routing_.SetCheck(routingFlag_ != 0);
    seriesB_.SetCheck(seriesBFlag_ != 0);
    for (int i = 0; i < 5; ++i) addrEdits_[i]->SetAddress(addr_[i]);
}

bool CIpAddrPage::TakeControlValues() {
    baudIndex_ = baud_.GetCurSel();
    speedIndex_ = speed_.GetCurSel();
    seriesIndex_ = series_.GetCurSel();
    bootpFlag_ = bootp_.IsChecked();
    dhcpFlag_ = dhcp_.IsChecked();
    alwaysFlag_ = always_.IsChecked();
    fallbackFlag_ = fallback_.IsChecked();
    routingFlag_ = routing_.IsChecked();
    seriesBFlag_ = seriesB_.IsChecked();
    for (int i = 0; i < 5; ++i) {
        if (!ExchangeAddress(*addrEdits_[i], addr_[i], true)) return false;
    }
    return true;
}

// ---- user actions

void CIpAddrPage::OnBootp() {
    bootpFlag_ = bootp_.IsChecked();
    bool seriesBOrD = seriesIndex_ >= kSeriesBC;
    if (bootpFlag_) {
        mode_ = kModeBootp;
        if (seriesBOrD) {
            dhcp_.Enable(false);
            always_.Enable(true);
            fallback_.Enable(true);
        }
    } else {
        mode_ = kModeSoft;
        if (seriesBOrD) {
            dhcp_.Enable(true);
            always_.Enable(false);
            fallback_.Enable(false);
            always_.SetCheck(false);
            fallback_.SetCheck(false);
            alwaysFlag_ = 0;
            fallbackFlag_ = 0;
        }
    }
    host_.RefreshStatus();
}

void CIpAddrPage::OnAlways() {
    alwaysFlag_ = always_.IsChecked();
    mode_ = alwaysFlag_ ? kModeBootpAlways : kModeBootp;
    fallback_.Enable(!alwaysFlag_);
    host_.RefreshStatus();
}

void CIpAddrPage::OnFallback() {
    fallbackFlag_ = fallback_.IsChecked();
    mode_ = fallbackFlag_ ? kModeBootpFallback : kModeBootp;
    always_.Enable(!fallbackFlag_);
    host_.RefreshStatus();
}

void CIpAddrPage::OnDhcp() {
    dhcpFlag_ = dhcp_.IsChecked();
    if (dhcpFlag_) {
        mode_ = kModeDhcp;
        bootp_.Enable(false);
        always_.Enable(false);
        fallback_.Enable(false);
    } else {
        mode_ = kModeSoft;
        bootp_.Enable(true);
    }
    host_.RefreshStatus();
}

void CIpAddrPage::OnRouting() {
    host_.RefreshStatus();
    // The flag follows what the box shows (the same as inverting it while both agree).
    routingFlag_ = routing_.IsChecked();
}

void CIpAddrPage::OnListChange() {
    if (TakeControlValues()) host_.RefreshStatus();
}

void CIpAddrPage::OnSeries() {
    int s = series_.GetCurSel();
    if (s < 0) return;
    host_.SeriesSelected(s);
    seriesIndex_ = s;
    if (s == kSeriesA) {
        bootp_.Enable(true);
        for (CControl* c : {static_cast<CControl*>(&fallback_), static_cast<CControl*>(&always_),
                            static_cast<CControl*>(&dhcp_), static_cast<CControl*>(&routing_),
                            static_cast<CControl*>(&speed_)})
            c->Enable(false);
        speed_.SetCurSel(0);
        for (CCheckBox* c : {&fallback_, &always_, &dhcp_, &routing_}) c->SetCheck(false);
        mode_ = bootpFlag_ ? kModeBootp : kModeSoft;
        dhcpFlag_ = alwaysFlag_ = fallbackFlag_ = routingFlag_ = 0;
    } else {
        speed_.Enable(false);
        if (s == kSeriesBC) speed_.SetCurSel(0);
        // The variants a B/C or D module allows for the mode in force: never both "Always"
        // and "Fallback" open at once, which would let the boxes and the mode part ways.
        ApplyModeRule(mode_, false);
        routing_.Enable(true);
        if (s == kSeriesD) {
            speed_.Enable(true);
            host_.StoreAllPages();
        }
    }
    host_.RefreshStatus();
}

// ---- page operations

void CIpAddrPage::LoadDefaults() {
    baudIndex_ = speedIndex_ = seriesIndex_ = 0;
    mode_ = kModeBootp;
    bootpFlag_ = 1;
    dhcpFlag_ = alwaysFlag_ = fallbackFlag_ = routingFlag_ = seriesBFlag_ = 0;
    for (auto& a : addr_) a = {0, 0, 0, 0};
    bootp_.Enable(true);
    for (CControl* c : {static_cast<CControl*>(&fallback_), static_cast<CControl*>(&always_),
                        static_cast<CControl*>(&dhcp_), static_cast<CControl*>(&routing_),
                        static_cast<CControl*>(&speed_)})
        c->Enable(false);
    ShowMembers();
}

CIpAddrPage::Series CIpAddrPage::SeriesOfRevision(double revision) {
    return revision < kFirstSeriesBRevision    ? kSeriesA
           : revision <= kLastSeriesBCRevision ? kSeriesBC
                                               : kSeriesD;
}

void CIpAddrPage::LoadFromDocument(QorDoc& doc) {
    SelectPrefix(baud_, doc.GET(QorDoc::kIdBaud));

    Series series = SeriesOfRevision(FirmwareRevision(doc.GET(QorDoc::kIdDiagnostics)));
    bool seriesB;
    if (series == kSeriesA) {
        series_.SetCurSel(kSeriesA);
        seriesIndex_ = kSeriesA;
        host_.SeriesSelected(kSeriesA);
        speed_.SetCurSel(0);
        speed_.Enable(false);
        seriesB = false;
    } else if (series == kSeriesBC) {
        series_.SetCurSel(kSeriesBC);
        seriesIndex_ = kSeriesBC;
        host_.SeriesSelected(kSeriesBC);
        speed_.SetCurSel(0);
        speed_.Enable(false);
        seriesB = true;
    } else {
        series_.SetCurSel(kSeriesD);
        seriesIndex_ = kSeriesD;
        speed_.Enable(true);
        SelectPrefix(speed_, doc.GET(QorDoc::kIdSpeedDuplex));
        host_.SeriesSelected(kSeriesD);
        seriesB = true;
    }

    // The box shows what the module holds, also when that is "NO".
    if (doc.GET(QorDoc::kIdEnableRouting) == kYes) {
        routing_.Enable(true);
        routing_.SetCheck(true);
    } else {
        routing_.SetCheck(false);
    }

    ApplyModeRule(ModeOfText(doc.GET(QorDoc::kIdIpConfig)), !seriesB);

    if (seriesB) {
        doc.UPDATE(QorDoc::kIdSeriesB, kYes, false);
        seriesB_.SetCheck(true);
        routing_.Enable(true);
    } else {
        doc.UPDATE(QorDoc::kIdSeriesB, kNo, false);
        seriesB_.SetCheck(false);
        routing_.SetCheck(false);
        routing_.Enable(false);
    }

    for (int i = 0; i < 5; ++i) addrEdits_[i]->SetText(doc.GET(QorDoc::kIdIpAddress + i));
}

void CIpAddrPage::QueueParameters(QorDoc& doc) {
    for (int id : {QorDoc::kIdBaud, QorDoc::kIdEnableRouting, QorDoc::kIdSeriesB,
                   QorDoc::kIdSpeedDuplex, QorDoc::kIdIpConfig, QorDoc::kIdIpAddress,
                   QorDoc::kIdSubnetMask, QorDoc::kIdGateway, QorDoc::kIdSecurityMask1,
                   QorDoc::kIdSecurityMask2})
        doc.QUEUE(id);
}

void CIpAddrPage::StoreToDocument(QorDoc& doc, bool force) {
    doc.UPDATE(QorDoc::kIdBaud, baud_.CurText(), true);
    if (series_.GetCurSel() == kSeriesD) doc.UPDATE(QorDoc::kIdSpeedDuplex, speed_.CurText(), true);
    doc.UPDATE(QorDoc::kIdEnableRouting, YesNo(routingFlag_ != 0), force);
    doc.UPDATE(QorDoc::kIdSeriesB, YesNo(seriesBFlag_ != 0), force);
    doc.UPDATE(QorDoc::kIdIpConfig, ModeText(), force);
    for (int i = 0; i < 5; ++i) doc.UPDATE(QorDoc::kIdIpAddress + i, addrEdits_[i]->GetText(), force);
}

bool CIpAddrPage::DiffersFromDocument(QorDoc& doc) {
    if (baud_.CurText() != doc.GET(QorDoc::kIdBaud)) return true;
    if (series_.GetCurSel() == kSeriesD && speed_.CurText() != doc.GET(QorDoc::kIdSpeedDuplex))
        return true;
    if (YesNo(routing_.IsChecked()) != doc.GET(QorDoc::kIdEnableRouting)) {
        // The routing option travels to the module inside the baud parameter.
        doc.UPDATE(QorDoc::kIdBaud, doc.GET(QorDoc::kIdBaud), true);
        return true;
    }
    if (ModeText() != doc.GET(QorDoc::kIdIpConfig)) return true;
    for (int i = 0; i < 5; ++i) {
        if (addrEdits_[i]->GetText() != doc.GET(QorDoc::kIdIpAddress + i)) return true;
    }
    return false;
}

void CIpAddrPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    // A refused entry has shown its message; the section is written all the same.
    TakeControlValues();
    WriteText(file, "\r\n\r\n[COMMS]\r\n");
    WriteFormat(file, "Baud: %s\r\n", baud_.CurText().c_str());
    WriteFormat(file, "Ethernet Speed/Duplex: %s\r\n", speed_.CurText().c_str());
    WriteFormat(file, "EnableRouting: %s\r\n", YesNo(routingFlag_ != 0));
    WriteText(file, "\r\n[TCPIP]\r\n");
    WriteFormat(file, "Series: %s\r\n", series_.CurText().c_str());
    WriteFormat(file, "IpConfig: %s\r\n", ModeText());
    for (int i = 0; i < 5; ++i) {
        WriteText(file, kAddressKeys[i]);
        WriteText(file, CIPAddrEdit::FormatAddress(addr_[i].data()));
        WriteText(file, "\r\n");
    }
}

void CIpAddrPage::ReadSection(CConfigTextReader& reader) {
    reader.FindSection(kQorHeader);
    int version = reader.ReadVersion();
    host_.TextVersion() = version;

    reader.FindSection(kCommsHeader);
    if (!SelectPrefix(baud_, reader.ReadParam(kKeyBaud)))
        throw ZUVException::ParameterInError(kKeyBaud);
    if (version == 4 && !SelectPrefix(speed_, reader.ReadParam(kKeySpeed)))
        throw ZUVException::ParameterInError(kKeySpeed);
    std::string routing = version == 1 ? kNo : reader.ReadParam(kKeyRouting);

    reader.FindSection(kTcpipHeader);
    std::string series, seriesKey, mode, modeKey;
    if (version == 1) {
        modeKey = kKeyBootp;
        mode = reader.ReadParam(modeKey);
        series = "A";
    } else {
        seriesKey = version == 4 ? kKeySeries : kKeySeriesB;
        series = reader.ReadParam(seriesKey);
        modeKey = kKeyIpConfig;
        mode = reader.ReadParam(modeKey);
    }

    if (series == "A" && (routing == kYes || (mode != kModeTexts[kModeBootp] &&
                                              mode != kModeTexts[kModeSoft])))
        throw ZUVException::ConfigurationInError(modeKey);

    if (series == "B/C" || series == "D") {
        routing_.Enable(true);
        SelectPrefix(series_, series);
        if (series == "D") {
            speed_.Enable(true);
            fallback_.Enable(true);
            always_.Enable(true);
            seriesIndex_ = kSeriesD;
            host_.SeriesSelected(kSeriesD);
        } else {
            seriesIndex_ = kSeriesBC;
            host_.SeriesSelected(kSeriesBC);
            speed_.Enable(false);
        }
    } else if (series == "A") {
        routing_.Enable(false);
        seriesIndex_ = kSeriesA;
        host_.SeriesSelected(kSeriesA);
        speed_.Enable(false);
        series_.SetCurSel(kSeriesA);
    } else if (series == kYes) {
        speed_.Enable(false);
        SelectPrefix(series_, "B");
        routing_.Enable(true);
        fallback_.Enable(true);
        always_.Enable(true);
        seriesIndex_ = kSeriesBC;
        host_.SeriesSelected(kSeriesBC);
    } else if (series == kNo) {
        speed_.Enable(false);
        series_.SetCurSel(kSeriesA);
        routing_.Enable(false);
        fallback_.Enable(false);
        always_.Enable(false);
        seriesIndex_ = kSeriesA;
        host_.SeriesSelected(kSeriesA);
    } else {
        throw ZUVException::ParameterInError(seriesKey);
    }

    if (routing == kYes) {
        routing_.SetCheck(true);
    } else if (routing == kNo) {
        routing_.SetCheck(false);
    } else {
        throw ZUVException::ParameterInError(kKeyRouting);
    }

    int m = ModeOfText(mode);
    if (m < 0) throw ZUVException::ParameterInError(modeKey);
    ApplyModeRule(m, series == "A");

    for (int i = 0; i < 5; ++i) reader.ReadAddressParam(kAddressKeys[i], *addrEdits_[i]);

    if (!TakeControlValues()) throw ZUVException::SectionInError(kTcpipHeader);
}

void CIpAddrPage::ExchangeDcf(CDcfArchive& ar) {
    if (ar.IsStoring()) {
        TakeControlValues();
        for (int32_t v : {baudIndex_, routingFlag_, seriesBFlag_, seriesIndex_, speedIndex_, mode_})
            ar.WriteInt32(v);
        for (auto& a : addr_) ar.WriteAddress(a);
        return;
    }

    int32_t baud = 0, routing = 0, seriesB = 0, series = 0, speed = 0, mode = 0;
    int32_t version = host_.DcfVersion();
    if (version == 1) {
        baud = ar.ReadInt32();
        int32_t bootp = ar.ReadInt32();
        mode = bootp != 0 ? kModeBootp : kModeSoft;
    } else if (version == 2 || version == 3) {
        baud = ar.ReadInt32();
        routing = ar.ReadInt32();
        seriesB = ar.ReadInt32();
        mode = ar.ReadInt32();
        series = seriesB != 0 ? kSeriesBC : kSeriesA;
    } else {
        baud = ar.ReadInt32();
        routing = ar.ReadInt32();
        seriesB = ar.ReadInt32();
        series = ar.ReadInt32();
        speed = ar.ReadInt32();
        mode = ar.ReadInt32();
    }
    std::array<std::array<uint8_t, 4>, 5> addr;
    for (auto& a : addr) a = ar.ReadAddress();

    // Positions no list holds come from a damaged file; taking them would leave lists without
    // a selection and an undefined mode.
    if (!ValidIndex(baud, baud_.Count()) || !ValidIndex(series, series_.Count()) ||
        !ValidIndex(speed, speed_.Count()) || !ValidIndex(mode, kModeCount))
        throw CDcfArchive::Failure(CDcfArchive::FailureKind::BadIndex);
    // Each address passes its field's check, as from a text file, which the file saved next must
    // load back.
    for (int i = 0; i < 5; ++i) {
        const AddressCheck check =
            CheckAddressText(CIPAddrEdit::FormatAddress(addr[i].data()), addrEdits_[i]->Kind());
        if (!check.ok) {
            host_.Ui().Message(AddressCheckMessage(check.code), UiHost::Icon::Exclamation);
            throw CDcfArchive::Failure(CDcfArchive::FailureKind::RefusedValue);
        }
    }

    baudIndex_ = baud;
    routingFlag_ = routing != 0;
    seriesBFlag_ = seriesB != 0;
    seriesIndex_ = series;
    speedIndex_ = speed;
    mode_ = mode;
    addr_ = addr;
    AfterDcfLoad();
}

void CIpAddrPage::AfterDcfLoad() {
    host_.SeriesSelected(seriesIndex_);
    speed_.Enable(false);
    ShowMembers();
    if (seriesIndex_ >= kSeriesBC) {
        if (seriesIndex_ == kSeriesD) speed_.Enable(true);
        routing_.Enable(true);
        if (routingFlag_) routing_.SetCheck(true);
        ApplyModeRule(mode_, false);
    } else {
        seriesB_.SetCheck(false);
        routing_.SetCheck(false);
        routing_.Enable(false);
        // The boxes follow the file's mode; the flags they were refreshed from are those of
        // the page before the load, which a .dcf record does not hold.
        ApplyModeRule(mode_, true);
    }
}
