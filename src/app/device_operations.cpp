#include "app/ui_host.h"
#include "app/utility_dlg.h"

// Placeholders until the device link lands: nothing is sent, every operation succeeds.

int CUtilityDlg::UploadFromDevice(bool all) {
    (void)all;
    return 0;
}

int CUtilityDlg::DownloadToDevice() { return 0; }

int CUtilityDlg::ResetDevice(int kind) {
    (void)kind;
    return 0;
}

void CUtilityDlg::ShowLinkError(int code) {
    (void)code;
    GoOffline(true);
    Page(kUtilitySettingsPage).RestoreLinkBaud();
}
