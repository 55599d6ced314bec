#include "app/utility_dlg.h"

#include "host/ui_host.h"

namespace {

// The pages that hold module values; the Reset page only shows what the module reports.
constexpr int kValuePages[] = {CUtilityDlg::kIpAddrPage,    CUtilityDlg::kRoutingPage,
                               CUtilityDlg::kEmailPage,     CUtilityDlg::kUtilitySettingsPage,
                               CUtilityDlg::kWebConfigPage, CUtilityDlg::kWebDataDescPage};

}  // namespace

CUtilityDlg::CUtilityDlg(UiHost& ui)
    : ui_(ui),
      ipAddrPage_(*this),
      routingPage_(*this),
      emailPage_(*this),
      resetPage_(*this),
      utilitySettingsPage_(*this),
      webConfigPage_(*this),
      webDataDescPage_(*this) {
    status_.SetReadOnly(true);

    CConfigPage* pages[kPageCount] = {&ipAddrPage_,     &routingPage_,         &emailPage_,
                                      &resetPage_,      &utilitySettingsPage_, &webConfigPage_,
                                      &webDataDescPage_};
    for (int i = 0; i < kPageCount; ++i)
        tabs_.AddPage(kTabTexts[i], *pages[i]);
    tabs_.onSelectRequest = [this](int index) { SelectPage(index); };

    fileLoad_.onClick = [this] { OnFileLoad(); };
    qor_.onClick = [this] { OnQor(); };
    defaults_.onClick = [this] { OnDefaults(); };
    textLoad_.onClick = [this] { OnTextLoad(); };
    fileSave_.onClick = [this] { OnFileSave(); };
    ram_.onClick = [this] { OnRam(); };
    rom_.onClick = [this] { OnRom(); };
    textSave_.onClick = [this] { OnTextSave(); };
    help_.onClick = [this] { OnHelp(); };
}

CUtilityDlg::~CUtilityDlg() = default;

void CUtilityDlg::Start() {
    for (int i = 0; i < kPageCount; ++i)
        Page(i).LoadDefaults();
    tabs_.ShowPage(kIpAddrPage, false);
    StoreAllPages();
    GoOffline(true);
    SetValueSource(kDefaultValues);
    Page(kUtilitySettingsPage).RestoreLinkBaud();
    SetCommandsEnabled(true);
}

void CUtilityDlg::SetValueSource(const std::string& text) {
    valueSource_ = text;
    ShowStatus(valueSource_);
}

bool CUtilityDlg::AnyPageDiffers() {
    for (int i : kValuePages) {
        if (Page(i).DiffersFromDocument(doc_))
            return true;
    }
    return false;
}

void CUtilityDlg::RefreshStatus() {
    ShowStatus(AnyPageDiffers() ? kModified : valueSource_);
}

void CUtilityDlg::RequestReset(int kind) {
    if (IsBusy())
        return;
    BusyScope busy(*this);
    EnableWindow(false);
    ResetDevice(kind);
    EnableWindow(true);
}

void CUtilityDlg::SeriesSelected(int series) {
    Page(kEmailPage).SeriesChanged(series);
    Page(kUtilitySettingsPage).SeriesChanged(series);
}

void CUtilityDlg::StoreAllPages() {
    for (int i : kValuePages)
        Page(i).StoreToDocument(doc_, link_.downloadAll != 0);
}

void CUtilityDlg::GoOffline(bool notify) {
    doc_.Disconnect();
    ShowStatus(kOffline);
    if (notify) {
        Page(kResetPage).LinkDown();
        Page(kUtilitySettingsPage).LinkDown();
    }
}

void CUtilityDlg::SetCommandsEnabled(bool on) {
    for (CButton* b : {&qor_, &defaults_, &fileLoad_, &fileSave_, &help_, &textSave_, &textLoad_})
        b->Enable(on);
    if (tabs_.VisibleIndex() < kResetPage) {
        tabs_.Enable(on);
        ram_.Enable(on);
        rom_.Enable(on);
    }
}

void CUtilityDlg::ApplyTabRules(int index) {
    bool files = index != kUtilitySettingsPage;
    bool download = index != kResetPage && index != kUtilitySettingsPage;
    for (CButton* b : {&qor_, &defaults_, &fileLoad_, &fileSave_, &textLoad_, &textSave_})
        b->Enable(files);
    ram_.Enable(download);
    rom_.Enable(download);
}

bool CUtilityDlg::ValidatePages() {
    int refused = tabs_.CheckAll();
    if (refused < 0)
        return true;
    ApplyTabRules(refused);
    return false;
}

bool CUtilityDlg::EndOpenEdits() {
    for (int i = 0; i < kPageCount; ++i) {
        if (!Page(i).EndOpenEdit()) {
            if (i != tabs_.VisibleIndex()) {
                tabs_.ShowPage(i, false);
                ApplyTabRules(i);
            }
            return false;
        }
    }
    return true;
}

void CUtilityDlg::SelectPage(int index) {
    if (index >= 0 && index < kPageCount && index != tabs_.VisibleIndex() && EndOpenEdits()) {
        if (tabs_.SwitchTo(index))
            ApplyTabRules(index);
    }
    RefreshStatus();
}

bool CUtilityDlg::RequestClose() {
    if (IsBusy() || !EndOpenEdits())
        return false;
    if (AnyPageDiffers()) {
        auto answer = ui_.MessageBox(kCloseQuestion, UiHost::kProgramName, UiHost::Icon::None,
                                     UiHost::Buttons::YesNo, UiHost::Answer::No);
        if (answer != UiHost::Answer::Yes)
            return false;
    }
    GoOffline(true);
    return true;
}

void CUtilityDlg::OnFileLoad() {
    if (!EndOpenEdits())
        return;
    auto name = ui_.OpenFileName(kDcfFilter, kDcfExt);
    if (!name)
        return;
    if (!LoadDcfFile(*name))
        return;
    StoreAllPages();
    GoOffline(false);
    SetValueSource(kFileValues);
}

void CUtilityDlg::OnQor() {
    if (IsBusy() || !EndOpenEdits())
        return;
    BusyScope busy(*this);
    bool all = link_.uploadActiveTab == 0 || doc_.GET(QorDoc::kIdHwAddress).empty();
    UploadFromDevice(all);
}

void CUtilityDlg::OnDefaults() {
    if (!EndOpenEdits())
        return;
    for (int i = 0; i < kPageCount; ++i)
        Page(i).LoadDefaults();
    StoreAllPages();
    GoOffline(true);
    SetValueSource(kDefaultValues);
}

void CUtilityDlg::OnTextLoad() {
    if (!EndOpenEdits())
        return;
    auto name = ui_.OpenFileName(kTextFilter, kTextExt);
    if (!name)
        return;
    std::string error;
    FinishTextLoad(LoadTextFile(*name, error), error);
}

void CUtilityDlg::OnTextLoad(const std::string& text) {
    if (!EndOpenEdits())
        return;
    std::string error;
    FinishTextLoad(LoadTextFromMemory(text, error), error);
}

void CUtilityDlg::FinishTextLoad(TextLoadResult result, const std::string& contentError) {
    switch (result) {
        case TextLoadResult::Loaded:
            StoreAllPages();
            GoOffline(true);
            SetValueSource(kFileValues);
            break;
        case TextLoadResult::ContentError:
            OnDefaults();
            ui_.MessageBox(contentError, UiHost::kProgramName, UiHost::Icon::None,
                           UiHost::Buttons::Ok, UiHost::Answer::Ok);
            break;
        case TextLoadResult::Failed:
            break;
    }
}

void CUtilityDlg::OnFileSave() {
    if (!EndOpenEdits() || !ValidatePages())
        return;
    auto name = ui_.SaveFileName(kDcfFilter, kDcfExt);
    if (!name)
        return;
    if (!SaveDcfFile(*name))
        return;
    StoreAllPages();
    SetValueSource(kFileValues);
}

void CUtilityDlg::OnRam() {
    if (IsBusy() || !EndOpenEdits() || !ValidatePages())
        return;
    BusyScope busy(*this);
    DownloadToDevice();
}

void CUtilityDlg::OnRom() {
    if (IsBusy() || !EndOpenEdits() || !ValidatePages())
        return;
    BusyScope busy(*this);
    if (DownloadToDevice() == 0)
        ResetDevice(0);
}

void CUtilityDlg::OnTextSave() {
    if (!EndOpenEdits())
        return;
    auto name = ui_.SaveFileName(kTextFilter, kTextExt);
    if (!name)
        return;
    SaveTextFile(*name);
}

void CUtilityDlg::OnHelp() {
    if (!ui_.OpenHelp(kHelpTopic))
        ui_.Message(kHelpUnavailable);
}
