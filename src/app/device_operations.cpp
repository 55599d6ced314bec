#include "app/device_operations.h"

#include "host/ui_host.h"
#include "app/utility_dlg.h"
#include "link/port_problem.h"
#include "link/serial_channel.h"

namespace device_ops {

namespace {

constexpr int kRateCount = 7;
constexpr const char* kRates[kRateCount] = {"57600", "38400", "19200", "9600",
                                            "4800",  "2400",  "1200"};
constexpr int kPausesAfterReset = 10;
constexpr int kPauseMs = 2000;
constexpr int kAwaitTries = 5;
constexpr int kConnectTries = 8;

bool IsLocalKey(int key) {
    return key == 0xF6 || key == 0xF7;
}
bool IsWebKey(int key) {
    return key >= 1 && key <= 70;
}
// Keys some modules do not have; their failure does not stop a transfer.
bool IsForgiven(int key) {
    return key >= 0xF1 && key <= 0xF5;
}

using Transfer = int (QorDoc::*)(int, CParam&);

int TransferQueue(CUtilityDlg& dlg, Transfer transfer) {
    QorDoc& doc = dlg.Doc();
    int result = doc.Channel().Open() ? QorDoc::kSuccess : QorDoc::kInvalidPort;
    if (result == QorDoc::kSuccess) result = doc.Identify();
    if (result == QorDoc::kSuccess) {
        CProgressWnd& progress = dlg.Progress();
        progress.SetRange(0, static_cast<int>(doc.QueueCount()));
        while (!doc.IsQueueEmpty() && result == QorDoc::kSuccess) {
            int key = doc.TakeNext();
            if (IsLocalKey(key) || (IsWebKey(key) && !doc.WebCapable())) continue;
            CParam* param = doc.ParamOf(key);
            if (!param) continue;  // no identifier queues such a key
            result = (doc.*transfer)(key, *param);
            if (result != QorDoc::kSuccess && result != QorDoc::kStopped && IsForgiven(key))
                result = QorDoc::kSuccess;
            progress.StepIt();
            dlg.Ui().ProcessPendingEvents();
        }
    }
    if (result != QorDoc::kSuccess) {
        doc.ClearQueue();
        doc.SET(QorDoc::kIdHwAddress, "");
    }
    return result;
}

}  // namespace

int UploadParameters(CUtilityDlg& dlg, bool all) {
    int result = TransferQueue(dlg, &QorDoc::ReadParameter);
    if (result != QorDoc::kSuccess) return result;
    if (all) {
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i)
            dlg.Page(i).LoadFromDocument(dlg.Doc());
    } else {
        dlg.Page(dlg.Tabs().VisibleIndex()).LoadFromDocument(dlg.Doc());
    }
    return QorDoc::kSuccess;
}

int DownloadParameters(CUtilityDlg& dlg) {
    return TransferQueue(dlg, &QorDoc::WriteParameter);
}

int BaudIndexAfterReset(int pcBaudIndex, const std::string& rate) {
    // The module's automatic rate detection does not reach 57600.
    if (rate == "Auto") return pcBaudIndex == 0 ? 1 : pcBaudIndex;
    for (int i = 0; i < kRateCount; ++i) {
        if (rate == kRates[i]) return i;
    }
    return pcBaudIndex;
}

}  // namespace device_ops

using namespace device_ops;

namespace {

// Commands, page controls and the window off; the progress window up with its title.
void BeginStage(CUtilityDlg& dlg, const char* text, int range) {
    dlg.ShowStatus(text);
    dlg.SetCommandsEnabled(false);
    CProgressWnd& progress = dlg.Progress();
    progress.Open();
    progress.SetTitle(text);
    progress.SetRange(0, range);
    dlg.EnableWindow(false);
}

void EndOperation(CUtilityDlg& dlg) {
    dlg.SetCommandsEnabled(true);
    dlg.EnableWindow(true);
    dlg.Progress().Close();
}

// Opens the link at the window's settings; the progress window goes afterwards.
int ConnectStage(CUtilityDlg& dlg) {
    int result =
        dlg.Doc().Connect(dlg.Link().pcBaudIndex, dlg.Link().comPort, &dlg.Progress(), &dlg.Ui());
    dlg.EnableWindow(true);
    dlg.Progress().Close();
    return result;
}

// The transfer stage after a successful connect: its own title, the window off again.
void TransferStage(CUtilityDlg& dlg, const char* text) {
    dlg.ShowStatus(text);
    CProgressWnd& progress = dlg.Progress();
    progress.Open();
    progress.SetTitle(text);
    dlg.EnableWindow(false);
}

}  // namespace

int CUtilityDlg::UploadFromDevice(bool all) {
    if (all) {
        for (int i = 0; i < kPageCount; ++i)
            Page(i).QueueParameters(doc_);
    } else {
        Page(tabs_.VisibleIndex()).QueueParameters(doc_);
    }
    BeginStage(*this, kConnecting, 3);
    int result = ConnectStage(*this);
    if (result == QorDoc::kSuccess) {
        TransferStage(*this, kUploading);
        result = UploadParameters(*this, all);
        SetValueSource(kDeviceValues);
    }
    EndOperation(*this);
    if (result != QorDoc::kSuccess) ShowLinkError(result);
    ValidatePages();
    return result;
}

int CUtilityDlg::DownloadToDevice() {
    StoreAllPages();
    if (doc_.IsQueueEmpty()) return QorDoc::kSuccess;
    BeginStage(*this, kConnecting, 3);
    int result = ConnectStage(*this);
    if (result == QorDoc::kSuccess) {
        TransferStage(*this, kDownloading);
        result = DownloadParameters(*this);
        SetValueSource(kDeviceValues);
    }
    EndOperation(*this);
    if (result != QorDoc::kSuccess) ShowLinkError(result);
    return result;
}

int CUtilityDlg::ResetDevice(int kind) {
    if (kind < 0 || kind > 3) return QorDoc::kCommunicationError;
    BeginStage(*this, kResetTexts[kind], 3);
    int result = ConnectStage(*this);
    if (result == QorDoc::kSuccess) result = doc_.SendReset(kind);
    if (result == QorDoc::kSuccess) {
        std::string rate = kind == 0 ? doc_.GET(QorDoc::kIdBaud) : kind == 1 ? "" : "Auto";
        link_.pcBaudIndex = static_cast<uint16_t>(BaudIndexAfterReset(link_.pcBaudIndex, rate));

        progress_.Open();
        progress_.SetTitle(kWaitTitle);
        progress_.SetRange(0, 26);
        EnableWindow(false);
        for (int i = 0; i < kPausesAfterReset; ++i) {
            progress_.StepIt();
            ui_.Pause(kPauseMs);
        }
        for (int i = 0; i < kAwaitTries; ++i) {
            int awaited = doc_.AwaitModule(link_.pcBaudIndex, link_.comPort, &progress_, &ui_);
            if (awaited == QorDoc::kSuccess || awaited == QorDoc::kStopped) break;
        }
        for (int i = 0; i < kConnectTries; ++i) {
            result = doc_.Connect(link_.pcBaudIndex, link_.comPort, &progress_, &ui_);
            if (result == QorDoc::kSuccess || result == QorDoc::kStopped) break;
        }
        EndOperation(*this);
        if (result == QorDoc::kSuccess) return UploadFromDevice(true);
    } else {
        // The window must not stay disabled after a failed start.
        EndOperation(*this);
    }
    ShowLinkError(result);
    return result;
}

void CUtilityDlg::ShowLinkError(int code) {
    const SerialChannel& channel = doc_.Channel();
    // Taken before going offline closes the channel.
    bool gone = channel.DeviceGone();
    GoOffline(true);
    Page(kUtilitySettingsPage).RestoreLinkBaud();
    std::string text = QorDoc::ResultText(code);
    if (gone) {
        // Not a link error: nothing the module did, and nothing a setting would mend.
        text = port_problem::DeviceGoneMessage(channel);
    } else if (code == QorDoc::kInvalidPort && !channel.OpenError().empty()) {
        // Which device failed, why, and what to do about it.
        text += "\n" + port_problem::ExplainOpenFailure(channel);
    }
    ui_.Message(text);
}
