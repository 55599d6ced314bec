#include "pages/utility_settings_page.h"

#include <vector>

#include "pages/page_host.h"
#include "host/ui_host.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/settings_file.h"
#include "link/port_map.h"
#include "model/qor_doc.h"

namespace {

constexpr const char* kSectionHeader = "[UtilitySettings]";
constexpr const char* kKeyMask = "CfgSecMask: ";

}  // namespace

CUtilitySettingsPage::CUtilitySettingsPage(CPageHost& host)
    : host_(host), mask_(host.Ui(), IpFieldKind::PlainMask) {
    for (const char* t : kBaudTexts)
        baud_.AddString(t);
    ProgramPortMap().Refresh();
    ReportPortProblems();
    for (int port = 1; port <= kPortCount; ++port)
        comPort_.AddString(ProgramPortMap().Entry(port).Text());

    LinkSettings& link = host_.Link();
    if (link.comPort >= 1 && link.comPort <= kPortCount) {
        if (!ReadSettingsFile()) comIndex_ = link.comPort - 1;
    } else {
        comIndex_ = 0;
    }
    if (link.pcBaudIndex > 6) {
        baudIndex_ = 2;
    } else if (!ReadSettingsFile()) {
        baudIndex_ = link.pcBaudIndex;
    }
    uploadChoice_ = link.uploadActiveTab ? kUploadActiveTab : kUploadAll;
    downloadChoice_ = link.downloadAll ? kDownloadAll : kDownloadModified;

    download_.ShowItem(kDownloadActiveTab, false);
    download_.EnableItem(kDownloadActiveTab, false);

    comPort_.onSelChange = [this] { OnComPort(); };
    baud_.onSelChange = [this] { OnBaud(); };
    upload_.onSelect = [this] { OnUpload(); };
    download_.onSelect = [this] { OnDownload(); };
    // The mask is a module value: the status follows it as it is typed.
    mask_.onChange = [this] { host_.RefreshStatus(); };

    LoadDefaults();
    ShowMembers();
}

bool CUtilitySettingsPage::ReadSettingsFile() {
    CSettingsFile::ReadResult r = CSettingsFile::Read();
    if (r.port) {
        comIndex_ = *r.port - 1;
        host_.Link().comPort = static_cast<uint16_t>(*r.port);
    }
    if (r.ok) baudIndex_ = r.baudIndex;
    return r.ok;
}

void CUtilitySettingsPage::WriteSettingsFile() const {
    // The file is a convenience; a failure to keep it is not reported.
    CSettingsFile::Write(comIndex_ + 1, baudIndex_);
}

bool CUtilitySettingsPage::RefreshPorts() {
    PortMap& map = ProgramPortMap();
    map.Refresh();
    ReportPortProblems();
    std::vector<std::string> texts;
    bool same = comPort_.Count() == kPortCount;
    for (int port = 1; port <= kPortCount; ++port) {
        texts.push_back(map.Entry(port).Text());
        same = same && comPort_.ItemText(port - 1) == texts.back();
    }
    if (same) return false;
    int sel = comPort_.GetCurSel();
    comPort_.ResetContent();
    for (const std::string& text : texts)
        comPort_.AddString(text);
    comPort_.SetCurSel(sel);
    return true;
}

void CUtilitySettingsPage::GoOffline() {
    host_.GoOffline(true);
}

void CUtilitySettingsPage::ShowMembers() {
    comPort_.SetCurSel(comIndex_);
    baud_.SetCurSel(baudIndex_);
    upload_.SetSelected(uploadChoice_);
    download_.SetSelected(downloadChoice_);
    mask_.SetAddress(maskOctets_);
}

bool CUtilitySettingsPage::TakeControlValues() {
    comIndex_ = comPort_.GetCurSel();
    baudIndex_ = baud_.GetCurSel();
    uploadChoice_ = upload_.Selected();
    downloadChoice_ = download_.Selected();
    return ExchangeAddress(mask_, maskOctets_, true);
}

void CUtilitySettingsPage::ClearMask() {
    maskOctets_ = {0, 0, 0, 0};
    mask_.Enable(false);
    ShowMembers();
}

// ---- user actions

void CUtilitySettingsPage::OnComPort() {
    host_.GoOffline(true);
    host_.Link().comPort = static_cast<uint16_t>(comIndex_ + 1);
    WriteSettingsFile();
    // The choice is of the adapter, not of a place in the list: it keeps its number after
    // re-plugging and when others come.
    ProgramPortMap().Pin(comIndex_ + 1);
    ReportPortProblems();
}

void CUtilitySettingsPage::ReportPortProblems() {
    for (const std::string& problem : ProgramPortMap().TakeProblems())
        host_.Ui().Message(problem);
}

void CUtilitySettingsPage::OnBaud() {
    host_.GoOffline(true);
    host_.Link().pcBaudIndex = static_cast<uint16_t>(baudIndex_);
    WriteSettingsFile();
}

void CUtilitySettingsPage::OnUpload() {
    if (TakeControlValues()) host_.Link().uploadActiveTab = uploadChoice_ == kUploadActiveTab;
}

void CUtilitySettingsPage::OnDownload() {
    if (TakeControlValues()) host_.Link().downloadAll = downloadChoice_ == kDownloadAll;
}

// ---- page operations

void CUtilitySettingsPage::LoadDefaults() {
    ClearMask();
}

void CUtilitySettingsPage::SeriesChanged(int series) {
    if (series == 2) {
        mask_.Enable(true);
    } else {
        mask_.Enable(false);
        maskOctets_ = {0, 0, 0, 0};
    }
    ShowMembers();
}

void CUtilitySettingsPage::LoadFromDocument(QorDoc& doc) {
    mask_.SetText(doc.GET(QorDoc::kIdCfgSecMask));
}

void CUtilitySettingsPage::QueueParameters(QorDoc& doc) {
    doc.QUEUE(QorDoc::kIdCfgSecMask);
}

void CUtilitySettingsPage::StoreToDocument(QorDoc& doc, bool force) {
    doc.UPDATE(QorDoc::kIdCfgSecMask, mask_.GetText(), force);
}

bool CUtilitySettingsPage::DiffersFromDocument(QorDoc& doc) {
    return mask_.GetText() != doc.GET(QorDoc::kIdCfgSecMask);
}

void CUtilitySettingsPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    TakeControlValues();
    WriteText(file, "\r\n[UtilitySettings]\r\n");
    WriteText(file, kKeyMask + CIPAddrEdit::FormatAddress(maskOctets_.data()) + "\r\n");
}

void CUtilitySettingsPage::ReadSection(CConfigTextReader& reader) {
    if (host_.TextVersion() < 4) {
        ClearMask();
        return;
    }
    reader.FindSection(kSectionHeader);
    reader.ReadAddressParam(kKeyMask, mask_);
    if (!TakeControlValues()) throw ZUVException::SectionInError(kSectionHeader);
}

void CUtilitySettingsPage::LinkDown() {
    TakeControlValues();
}

void CUtilitySettingsPage::RestoreLinkBaud() {
    host_.Link().pcBaudIndex = static_cast<uint16_t>(baudIndex_);
}

void CUtilitySettingsPage::ExchangeDcf(CDcfArchive& ar) {
    if (ar.IsStoring()) {
        TakeControlValues();
        ar.WriteAddress(maskOctets_);
        return;
    }
    if (host_.DcfVersion() < 4) return;
    maskOctets_ = ar.ReadAddress();
    ShowMembers();
}
