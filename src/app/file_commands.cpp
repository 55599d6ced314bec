#include <vector>

#include "app/utility_dlg.h"
#include "app/file_procedures.h"

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

namespace {

CUtilityDlg::TextLoadResult ResultOf(TextLoadOutcome outcome) {
    switch (outcome) {
        case TextLoadOutcome::Loaded:
            return CUtilityDlg::TextLoadResult::Loaded;
        case TextLoadOutcome::ContentError:
            return CUtilityDlg::TextLoadResult::ContentError;
        case TextLoadOutcome::Failed:
            break;
    }
    return CUtilityDlg::TextLoadResult::Failed;
}

}  // namespace

CUtilityDlg::TextLoadResult CUtilityDlg::LoadTextFile(const std::string& name,
                                                      std::string& contentError) {
    return ResultOf(LoadTextPages(name, PagesInTabOrder(*this), ui_, contentError));
}

CUtilityDlg::TextLoadResult CUtilityDlg::LoadTextFromMemory(const std::string& text,
                                                            std::string& contentError) {
    return ResultOf(LoadTextPagesFromMemory(text, PagesInTabOrder(*this), ui_, contentError));
}

bool CUtilityDlg::SaveTextFile(const std::string& name) {
    return SaveTextPages(name, PagesInTabOrder(*this), doc_, ui_);
}

std::string CUtilityDlg::ConfigurationText() {
    return TextOfPages(PagesInTabOrder(*this), doc_);
}
