#pragma once

#include <cstdint>

#include "controls/control.h"
#include "pages/config_page.h"

class CPageHost;

// The "Reset" tab: the reset commands, identification text and hardware address.
class CResetPage : public CConfigPage {
public:
    static constexpr const char* kResetTypeTexts[3] = {
        "Power Cycle", "Out of Box ", "Out of Box \n(Maintain QOR IP Address)"};
    static constexpr const char* kConfirmTexts[3] = {
        "Power Cycle reset will cause loss of data not previously saved to ROM.",
        "Out of Box reset will restore all QOR parameters to out-of-box defaults.",
        // One text on two lines (in parentheses, so no compiler takes it for a missing comma).
        ("Out of Box IP reset will restore all QOR parameters except \n"
         "IP address, subnet mask and gateway to out-of-box defaults.")};
    static constexpr const char* kProceedQuestion = "\nDo you wish to proceed?";

    explicit CResetPage(CPageHost& host);

    // --- CConfigPage
    void ExchangeDcf(CDcfArchive& archive) override;
    void LoadDefaults() override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void LinkDown() override;
    bool TakeControlValues() override;

    // --- the controls
    CEdit& HardwareAddressField() { return hwAddress_; }
    CEdit& DiagnosticField() { return diagnostic_; }
    CRadioGroup& ResetTypeGroup() { return resetType_; }
    CButton& IssueResetButton() { return issueReset_; }

    int32_t ResetType() const { return resetTypeMember_; }

private:
    void OnIssueReset();
    void ShowMembers();

    CPageHost& host_;
    CEdit hwAddress_;
    CEdit diagnostic_;
    CRadioGroup resetType_{{kResetTypeTexts[0], kResetTypeTexts[1], kResetTypeTexts[2]}};
    CButton issueReset_{"Issue Reset Command"};
    int32_t resetTypeMember_ = 0;
};
