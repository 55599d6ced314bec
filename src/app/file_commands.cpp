#include <vector>

#include "app/utility_dlg.h"
#include "files/file_procedures.h"

// The file procedures run over the pages behind the tabs, in tab order.

namespace {

std::vector<CConfigPage*> PagesInTabOrder(CUtilityDlg& dlg) {
    std::vector<CConfigPage*> pages;
    for (int i = 0; i < CUtilityDlg::kPageCount; ++i)
        pages.push_back(&dlg.Page(i));
    return pages;
}

}  // namespace

bool CUtilityDlg::LoadDcfFile(const std::string& name) {
    return LoadDcfPages(name, PagesInTabOrder(*this), ui_, dcfVersion_);
}

bool CUtilityDlg::SaveDcfFile(const std::string& name) {
    return SaveDcfPages(name, PagesInTabOrder(*this), ui_);
}

CUtilityDlg::TextLoadResult CUtilityDlg::LoadTextFile(const std::string& name,
                                                      std::string& contentError) {
    switch (LoadTextPages(name, PagesInTabOrder(*this), ui_, contentError)) {
        case TextLoadOutcome::Loaded:
            return TextLoadResult::Loaded;
        case TextLoadOutcome::ContentError:
            return TextLoadResult::ContentError;
        case TextLoadOutcome::Failed:
            break;
    }
    return TextLoadResult::Failed;
}

bool CUtilityDlg::SaveTextFile(const std::string& name) {
    return SaveTextPages(name, PagesInTabOrder(*this), doc_, ui_);
}
