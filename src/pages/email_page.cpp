#include "pages/email_page.h"

#include <cstdio>

#include "pages/page_host.h"
#include "host/ui_host.h"
#include "controls/grid_cell_checks.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "model/qor_doc.h"
#include "pages/routing_page.h"

namespace {

std::string AddressKey(int d) {
    char key[20];
    std::snprintf(key, sizeof key, "Address%02d: ", d);
    return key;
}

}  // namespace

bool CSenderEdit::CheckSender() {
    const std::string text = GetText();
    const int length = static_cast<int>(text.size());
    const char* message = nullptr;
    const size_t space = text.find(' ');
    if (text.empty()) {
        message = kRequired;
        SelectAll();
    } else if (space != std::string::npos) {
        message = kNoSpaces;
        SetSel(static_cast<int>(space), static_cast<int>(space) + 1);
    } else if (text.find('@') == std::string::npos) {
        message = kAtRequired;
        SelectAll();
    } else if (length > kMaxLength) {
        message = kTooLong;
        SelectAll();
    }
    if (!message) return true;
    Ui().Message(message, UiHost::Icon::Exclamation);
    return false;
}

CEmailPage::CEmailPage(CPageHost& host)
    : host_(host),
      server_(host.Ui(), IpFieldKind::HostAddress),
      username_(host.Ui()),
      password_(host.Ui()),
      sender_(host.Ui()),
      grid_(host.Ui()) {
    server_.SetControlId(kServerId);
    username_.SetControlId(kUsernameId);
    password_.SetControlId(kPasswordId);
    sender_.SetControlId(kSenderId);
    username_.SetLimitText(kFieldLength);
    password_.SetLimitText(kFieldLength);
    password_.SetPassword(true);
    sender_.SetLimitText(kFieldLength);

    // The field's own check runs after the notification; the status follows every leave.
    // It follows the typing too: a text set by the page itself is not marked modified.
    for (CMaskedEdit* field : {static_cast<CMaskedEdit*>(&server_), &username_, &password_,
                               static_cast<CMaskedEdit*>(&sender_)}) {
        field->onLeave = [this](CMaskedEdit::LeaveNotify&) { host_.RefreshStatus(); };
        field->onChange = [this, field] {
            if (field->IsModified()) host_.RefreshStatus();
        };
    }
    auth_.onClick = [this] {
        authFlag_ = auth_.IsChecked() ? 1 : 0;
        host_.RefreshStatus();
    };
    grid_.onUserChange = [this] { host_.RefreshStatus(); };

    BuildNumberedGrid(grid_, kHeaders, kFirstDestination, CGridCellEmailDstn::kClass);
}

void CEmailPage::RefreshControls() {
    server_.SetAddress(serverAddress_);
    auth_.SetCheck(authFlag_ != 0);
}

void CEmailPage::SetAuth(bool on) {
    authFlag_ = on ? 1 : 0;
    auth_.SetCheck(on);
}

void CEmailPage::EnableLogin(bool on) {
    auth_.Enable(on);
    username_.Enable(on);
    password_.Enable(on);
}

void CEmailPage::ClearLogin() {
    username_.SetText("");
    password_.SetText("");
}

bool CEmailPage::TakeControlValues() {
    if (!ExchangeAddress(server_, serverAddress_, true)) return false;
    if (!sender_.CheckSender()) {
        sender_.RequestFocus();
        return false;
    }
    authFlag_ = auth_.IsChecked() ? 1 : 0;
    return true;
}

void CEmailPage::LoadDefaults() {
    serverAddress_ = {0, 0, 0, 0};
    ClearLogin();
    authFlag_ = 0;
    EnableLogin(false);
    sender_.SetText(kDefaultSender);
    for (int r = 1; r <= kDestinationCount; ++r)
        grid_.SetCellText(r, kAddressColumn, "");
    RefreshControls();
    grid_.Repaint();
}

void CEmailPage::SeriesChanged(int series) {
    // Series A and B/C modules have no SMTP login.
    if (series < 2) {
        EnableLogin(false);
        ClearLogin();
        authFlag_ = 0;
    } else {
        EnableLogin(true);
    }
    RefreshControls();
}

void CEmailPage::LoadFromDocument(QorDoc& doc) {
    username_.SetText(doc.GET(QorDoc::kIdUsername));
    password_.SetText(doc.GET(QorDoc::kIdPassword));
    const std::string auth = doc.GET(QorDoc::kIdSmtpAuth);
    if (auth == "1")
        SetAuth(true);
    else if (auth == "0")
        SetAuth(false);
    sender_.SetText(doc.GET(QorDoc::kIdFrom));
    server_.SetText(doc.GET(QorDoc::kIdEmailServer));
    for (int r = 1; r <= kDestinationCount; ++r)
        grid_.SetCellText(r, kAddressColumn, doc.GET(QorDoc::kIdFirstEmailDest + r - 1));
    grid_.Repaint();
}

void CEmailPage::QueueParameters(QorDoc& doc) {
    for (int id : {QorDoc::kIdUsername, QorDoc::kIdPassword, QorDoc::kIdSmtpAuth, QorDoc::kIdFrom,
                   QorDoc::kIdEmailServer})
        doc.QUEUE(id);
    for (int r = 1; r <= kDestinationCount; ++r)
        doc.QUEUE(QorDoc::kIdFirstEmailDest + r - 1);
}

void CEmailPage::StoreToDocument(QorDoc& doc, bool force) {
    doc.UPDATE(QorDoc::kIdUsername, username_.GetText(), force);
    doc.UPDATE(QorDoc::kIdPassword, password_.GetText(), force);
    doc.UPDATE(QorDoc::kIdSmtpAuth, authFlag_ ? "1" : "0", force);
    doc.UPDATE(QorDoc::kIdFrom, sender_.GetText(), force);
    doc.UPDATE(QorDoc::kIdEmailServer, server_.GetText(), force);
    for (int r = 1; r <= kDestinationCount; ++r)
        doc.UPDATE(QorDoc::kIdFirstEmailDest + r - 1, grid_.GetCellText(r, kAddressColumn), force);
}

bool CEmailPage::DiffersFromDocument(QorDoc& doc) {
    if (username_.GetText() != doc.GET(QorDoc::kIdUsername)) return true;
    if (password_.GetText() != doc.GET(QorDoc::kIdPassword)) return true;
    if ((auth_.IsChecked() ? "1" : "0") != doc.GET(QorDoc::kIdSmtpAuth)) return true;
    if (sender_.GetText() != doc.GET(QorDoc::kIdFrom)) return true;
    if (server_.GetText() != doc.GET(QorDoc::kIdEmailServer)) return true;
    for (int r = 1; r <= kDestinationCount; ++r) {
        if (grid_.GetCellText(r, kAddressColumn) != doc.GET(QorDoc::kIdFirstEmailDest + r - 1))
            return true;
    }
    return false;
}

void CEmailPage::WriteSection(CTextOutFile& file, QorDoc& doc) {
    (void)doc;
    // A refused field has shown its message; the section still goes out, with the last
    // accepted server address.
    TakeControlValues();
    WriteText(file, "\r\n[EMail]\r\n");
    WriteFormat(file, "Server: %s\r\n", CIPAddrEdit::FormatAddress(serverAddress_.data()).c_str());
    WriteFormat(file, "From: %s\r\n", sender_.GetText().c_str());
    WriteFormat(file, "Username: %s\r\n", username_.GetText().c_str());
    WriteFormat(file, "Password: %s\r\n", password_.GetText().c_str());
    WriteFormat(file, "SMTP Authentication: %s\r\n", authFlag_ ? "YES" : "NO");
    for (int r = 1; r <= kDestinationCount; ++r)
        WriteFormat(file, "Address%02d: %s\r\n", r + kFirstDestination - 1,
                    grid_.GetCellText(r, kAddressColumn).c_str());
}

void CEmailPage::ReadSection(CConfigTextReader& reader) {
    reader.FindSection(kSection);
    reader.ReadAddressParam("Server: ", server_);
    sender_.SetText(reader.ReadParam("From: "));
    // Older files have no login lines. No version recorded means nothing older was seen.
    const int version = host_.TextVersion();
    if (version != 0 && version < 4) {
        SetAuth(false);
        ClearLogin();
        EnableLogin(false);
    } else {
        username_.SetText(reader.ReadParam("Username: "));
        password_.SetText(reader.ReadParam("Password: "));
        const std::string auth = reader.ReadParam("SMTP Authentication: ");
        if (auth == "YES")
            SetAuth(true);
        else if (auth == "NO")
            SetAuth(false);
    }
    for (int r = 1; r <= kDestinationCount; ++r) {
        const std::string key = AddressKey(r + kFirstDestination - 1);
        const std::string value = reader.ReadParam(key);
        if (!grid_.CheckCellText(r, kAddressColumn, value))
            throw ZUVException::ParameterInError(key);
        grid_.SetCellText(r, kAddressColumn, value);
        grid_.MarkModified(true, r, kAddressColumn);
        grid_.RepaintCell(r, kAddressColumn);
    }
    if (!TakeControlValues()) throw ZUVException::SectionInError(kSection);
}

void CEmailPage::ExchangeDcf(CDcfArchive& archive) {
    if (archive.IsStoring()) {
        TakeControlValues();
        archive.WriteAddress(serverAddress_);
        archive.WriteInt32(authFlag_);
        archive.WriteText(username_.GetText());
        archive.WriteText(password_.GetText());
        archive.WriteText(sender_.GetText());
        for (int r = 1; r <= kDestinationCount; ++r)
            archive.WriteText(grid_.GetCellText(r, kAddressColumn));
        return;
    }
    // The record is read and checked whole before any of it is taken, with the checks of a
    // text file load: a value the text file could not carry back, such as a line break, makes
    // the file malformed, and the page keeps what it showed.
    const DcfRecord held = HeldRecord();
    DcfRecord record = held;
    record.server = archive.ReadAddress();
    if (host_.DcfVersion() >= 4) {
        record.auth = archive.ReadInt32() != 0 ? 1 : 0;
        record.username = archive.ReadText();
        record.password = archive.ReadText();
    }
    record.sender = archive.ReadText();
    for (auto& destination : record.destinations)
        destination = archive.ReadText();
    auto refuse = [] { throw CDcfArchive::Failure(CDcfArchive::FailureKind::RefusedValue); };
    for (const std::string* login : {&record.username, &record.password}) {
        if (!CheckTextCharacters(host_.Ui(), *login)) refuse();
    }
    for (int r = 1; r <= kDestinationCount; ++r) {
        if (!grid_.CheckCellText(r, kAddressColumn, record.destinations[r - 1])) refuse();
    }
    ShowRecord(record);
    if (!ExchangeAddress(server_, serverAddress_, true) || !sender_.CheckSender()) {
        ShowRecord(held);
        refuse();
    }
}

CEmailPage::DcfRecord CEmailPage::HeldRecord() const {
    DcfRecord record{serverAddress_,      authFlag_,         username_.GetText(),
                     password_.GetText(), sender_.GetText(), {}};
    for (int r = 1; r <= kDestinationCount; ++r)
        record.destinations[r - 1] = grid_.GetCellText(r, kAddressColumn);
    return record;
}

void CEmailPage::ShowRecord(const DcfRecord& record) {
    serverAddress_ = record.server;
    SetAuth(record.auth != 0);
    username_.SetText(record.username);
    password_.SetText(record.password);
    sender_.SetText(record.sender);
    for (int r = 1; r <= kDestinationCount; ++r)
        grid_.SetCellText(r, kAddressColumn, record.destinations[r - 1]);
    RefreshControls();
    grid_.Repaint();
}
