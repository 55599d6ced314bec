#pragma once

#include <string>

class CUtilityDlg;

// The transfers under the main window's device operations: each works through the document's
// transfer queue on an open link and returns a result code.
namespace device_ops {

constexpr const char* kConnecting = "Connecting...";
constexpr const char* kUploading = "Uploading...";
constexpr const char* kDownloading = "Downloading...";
constexpr const char* kResetTexts[4] = {"Execute Store/Reset ...", "Execute Reset ...",
                                        "Execute OOB Reset ...", "Execute OOB-IP Reset ..."};
constexpr const char* kWaitTitle = "Wait 60 second max. for QOR to come back online...";

// Reads the queued keys; on success the pages (all, or the visible one) reload.
int UploadParameters(CUtilityDlg& dlg, bool all);
// Writes the queued keys.
int DownloadParameters(CUtilityDlg& dlg);

// The PC baud index once the module restarted at rate ("Auto", a rate, or empty for unchanged).
int BaudIndexAfterReset(int pcBaudIndex, const std::string& rate);

}  // namespace device_ops
