#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/control.h"
#include "controls/grid_ctrl.h"
#include "controls/ip_addr_edit.h"
#include "controls/masked_edit.h"
#include "pages/config_page.h"

class CPageHost;

// The sender ("From:") field: a plain field whose leave check requires a mail address.
class CSenderEdit : public CMaskedEdit {
public:
    static constexpr int kMaxLength = 64;
    // The local part is the product word and 0.0.0.0; the domain is reserved for examples, so
    // no real mailbox is ever named by it.
    static constexpr const char* kDefaultSender = "QOR0.0.0.0@example.com";
    static constexpr const char* kRequired =
        "A value such as \"QOR0.0.0.0@example.com\" IS required.";
    static constexpr const char* kNoSpaces = "Spaces not allowed.";
    static constexpr const char* kAtRequired = "\"@\" symbol IS required.";
    static constexpr const char* kTooLong = "Length cannot exceed 64 characters.";

    explicit CSenderEdit(UiHost& ui) : CMaskedEdit(ui) {}

    // The check of the text, first failing test wins: selects what is wrong, shows one
    // message and returns false.
    bool CheckSender();
    bool CheckOnLeave() override { return CheckSender(); }
};

// The "Email" tab: the mail server's address, the sender, the SMTP login and the 50 mail
// destinations 50..99.
class CEmailPage : public CConfigPage {
public:
    static constexpr int kServerId = 1010;
    static constexpr int kSenderId = 1011;
    static constexpr int kGridId = 1018;
    static constexpr int kAuthId = 1049;
    static constexpr int kUsernameId = 1050;
    static constexpr int kPasswordId = 1051;
    static constexpr int kFieldLength = 64;

    static constexpr const char* kServerLabel = "Email Server IP Address";
    static constexpr const char* kAuthLabel = "SMTP Authentication";
    static constexpr const char* kUsernameLabel = "Username";
    static constexpr const char* kPasswordLabel = "Password";
    static constexpr const char* kSenderLabel = "\"From:\"";

    static constexpr int kDestinationCount = 50;
    static constexpr int kFirstDestination = 50;
    static constexpr int kAddressColumn = 2;
    static constexpr const char* kHeaders[3] = {"Destn", "Config", "\"To:\""};

    static constexpr const char* kDefaultSender = CSenderEdit::kDefaultSender;
    static constexpr const char* kSection = "[EMail]";

    explicit CEmailPage(CPageHost& host);

    CIPAddrEdit& ServerField() { return server_; }
    CCheckBox& AuthCheck() { return auth_; }
    CMaskedEdit& UsernameField() { return username_; }
    CMaskedEdit& PasswordField() { return password_; }
    CSenderEdit& SenderField() { return sender_; }
    CGridCtrl& Grid() { return grid_; }

    // The members the controls are exchanged with.
    const std::array<uint8_t, 4>& ServerAddress() const { return serverAddress_; }
    int AuthFlag() const { return authFlag_; }
    // Destination d (50..99), grid row d - 49.
    std::string Destination(int d) const {
        return grid_.GetCellText(d - kFirstDestination + 1, kAddressColumn);
    }

    void ExchangeDcf(CDcfArchive& archive) override;
    void LoadDefaults() override;
    void SeriesChanged(int series) override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void StoreToDocument(QorDoc& doc, bool force) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void ReadSection(CConfigTextReader& reader) override;
    bool DiffersFromDocument(QorDoc& doc) override;
    // Server address check, sender check, check box.
    bool TakeControlValues() override;
    bool EndOpenEdit() override { return grid_.CommitEdit(); }

private:
    // The page's share of a .dcf file, as the controls hold it.
    struct DcfRecord {
        std::array<uint8_t, 4> server{};
        int auth = 0;
        std::string username, password, sender;
        std::array<std::string, kDestinationCount> destinations;
    };
    DcfRecord HeldRecord() const;
    void ShowRecord(const DcfRecord& record);

    // Shows the members in the controls.
    void RefreshControls();
    void SetAuth(bool on);
    void EnableLogin(bool on);
    void ClearLogin();

    CPageHost& host_;
    CIPAddrEdit server_;
    CCheckBox auth_{kAuthLabel};
    CMaskedEdit username_;
    CMaskedEdit password_;
    CSenderEdit sender_;
    CGridCtrl grid_;

    std::array<uint8_t, 4> serverAddress_{};
    int authFlag_ = 0;
};
