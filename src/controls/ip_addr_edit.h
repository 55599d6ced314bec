#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/masked_edit.h"

// Which rules an address text is checked against.
enum class IpFieldKind {
    HostAddress,  // QOR IP Address, Gateway, Email Server IP Address
    SubnetMask,   // Subnet Mask
    PlainMask,    // Security Mask 1 and 2, Configuration Security Mask: four octets 0..255
};

// Outcome of checking an address text. code is 0 when the text passes, else the code of the
// first failing group: -1 .. -9 (AddressCheckMessage gives the text) or, for a group above 255,
// its value.
struct AddressCheck {
    bool ok = false;
    int code = 0;
    int group = -1;                   // the failing group 0..3; -1 when ok
    std::array<uint8_t, 4> octets{};  // the address when ok
    int selStart = 0, selEnd = 0;     // the failing group's characters in the text
};

// Checks text, four groups of exactly three digits joined by '.', as an address of the given
// kind. Usable without a field: it selects nothing and shows nothing.
AddressCheck CheckAddressText(const std::string& text, IpFieldKind kind);

// The message of an outcome code: -1 .. -9, or a value above 255 for the out-of-range message.
// Empty for any other code.
std::string AddressCheckMessage(int code);

// The IP address entry: a masked edit with the mask "###.###.###.###" and the prompt '_',
// which turns four octets into text and back and checks its text by its kind.
//
// Code that holds only the field makes the get and set requests through GetAddress and
// SetAddress.
class CIPAddrEdit : public CMaskedEdit {
  public:
    static constexpr const char* kMask = "###.###.###.###";
    static constexpr char kPrompt = '_';
    static constexpr const char* kErrorCaption = "Error";

    // Applies kMask and kPrompt; the separators are '.' whatever the locale.
    explicit CIPAddrEdit(UiHost& ui, IpFieldKind kind = IpFieldKind::HostAddress);

    IpFieldKind Kind() const { return kind_; }
    void SetKind(IpFieldKind kind) { kind_ = kind; }
    // Makes this the QOR IP Address field: its leave check then fits the page's Subnet Mask
    // field to the address class. Null turns the fit check off.
    void SetSubnetField(CIPAddrEdit* subnet) { subnet_ = subnet; }
    CIPAddrEdit* SubnetField() const { return subnet_; }

    // Shows the four octets, most significant first, as ddd.ddd.ddd.ddd.
    void SetAddress(const uint8_t* octets);
    void SetAddress(const std::array<uint8_t, 4>& octets) { SetAddress(octets.data()); }
    // Checks the text (showing the check's message on failure). On success writes the four
    // octets and returns true; on failure leaves 0.0.0.0 and returns false. A null buffer
    // returns false at once.
    bool GetAddress(uint8_t* octets);
    bool GetAddress(std::array<uint8_t, 4>& octets) { return GetAddress(octets.data()); }

    // Runs the check on the text; a failure selects the failing group and shows its message.
    AddressCheck Check();
    // The check, then for the QOR IP Address field the subnet-mask fit check.
    bool CheckOnLeave() override;
    // Sets the Subnet Mask field to the class default when it does not fit address, with the
    // notice. Does nothing without a subnet field.
    void FitSubnetMask(const std::array<uint8_t, 4>& address);

    static std::string FormatAddress(const uint8_t* octets);

  private:
    IpFieldKind kind_;
    CIPAddrEdit* subnet_ = nullptr;
};

// The page data exchange of one address field. Loading (save false) shows member in the field.
// Saving checks the field: on failure the field has shown its message, gets its whole text
// selected and asks for the focus, and the exchange fails with no further message; on success
// member takes the octets.
bool ExchangeAddress(CIPAddrEdit& field, std::array<uint8_t, 4>& member, bool save);
