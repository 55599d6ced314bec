#include "app/ui_host.h"
#include "app/utility_dlg.h"

// Placeholders until the file formats land: no file can be opened.

namespace {
constexpr const char* kCannotOpen = "File could not be opened";
}

bool CUtilityDlg::LoadDcfFile(const std::string& name) {
    (void)name;
    ui_.Message(kCannotOpen);
    return false;
}

bool CUtilityDlg::SaveDcfFile(const std::string& name) {
    (void)name;
    ui_.Message(kCannotOpen);
    return false;
}

CUtilityDlg::TextLoadResult CUtilityDlg::LoadTextFile(const std::string& name,
                                                      std::string& contentError) {
    (void)name;
    contentError.clear();
    ui_.Message(kCannotOpen);
    return TextLoadResult::Failed;
}

bool CUtilityDlg::SaveTextFile(const std::string& name) {
    (void)name;
    ui_.Message(kCannotOpen);
    return false;
}
