#include "pages/reset_page.h"

#include "pages/page_host.h"
#include "host/ui_host.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "model/qor_doc.h"

CResetPage::CResetPage(CPageHost& host) : host_(host) {
    hwAddress_.SetReadOnly(true);
    diagnostic_.SetReadOnly(true);
    issueReset_.onClick = [this] { OnIssueReset(); };
    LoadDefaults();
}

void CResetPage::ShowMembers() { resetType_.SetSelected(resetTypeMember_); }

bool CResetPage::TakeControlValues() {
    int sel = resetType_.Selected();
    if (sel >= 0) resetTypeMember_ = sel;
    return true;
}

void CResetPage::OnIssueReset() {
    TakeControlValues();
    std::string text = std::string(kConfirmTexts[resetTypeMember_]) + kProceedQuestion;
    auto answer = host_.Ui().MessageBox(text, UiHost::kProgramName, UiHost::Icon::Question,
                                        UiHost::Buttons::YesNo, UiHost::Answer::Yes);
    if (answer == UiHost::Answer::Yes) host_.RequestReset(resetTypeMember_ + 1);
}

void CResetPage::LoadDefaults() {
    resetTypeMember_ = 0;
    ShowMembers();
}

void CResetPage::LoadFromDocument(QorDoc& doc) {
    diagnostic_.SetText(doc.GET(QorDoc::kIdDiagnostics));
    hwAddress_.SetText(doc.GET(QorDoc::kIdHwAddress));
}

void CResetPage::QueueParameters(QorDoc& doc) {
    doc.QUEUE(QorDoc::kIdDiagnostics);
    doc.QUEUE(QorDoc::kIdHwAddress);
}

void CResetPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    TakeControlValues();
    WriteText(file, "\r\n[Device]\r\n");
    WriteText(file, "EthernetAddress: " + hwAddress_.Text() + "\r\n");
    WriteText(file, "\r\n[Diagnostics]\r\n");
    WriteText(file, diagnostic_.Text());
}

void CResetPage::LinkDown() {
    hwAddress_.SetText({});
    diagnostic_.SetText({});
}

void CResetPage::ExchangeDcf(CDcfArchive& ar) {
    if (ar.IsStoring()) {
        TakeControlValues();
        ar.WriteText(hwAddress_.Text());
        return;
    }
    hwAddress_.SetText(ar.ReadText());
    diagnostic_.SetText({});
    ShowMembers();
}
