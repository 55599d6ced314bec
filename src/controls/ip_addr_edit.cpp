#include "controls/ip_addr_edit.h"

#include <cstdio>

#include "host/ui_host.h"

namespace {

const char* const kMissingValue = "Missing value in IP address.";
const char* const kMissingDelimiter = "Missing IP address '.' delimiter.";
const char* const kExtraneous = "Extraneous IP address characters.";
const char* const kFirstOctetReserved =
    "127 and greater than 223 are reserved values for the first IP address octet.\n"
    "Please specify another value between 0 and 223 for this field.";
const char* const kZeroFirstOctet = "All IP address octects must be 0 when first one is.";
const char* const kFourthOctetReserved =
    "255 is a reserved value for the IP address fourth octet.\n"
    "Please specify another value between 0 and 254 for this field.";
const char* const kSubnetShape =
    "When Subnet IP address is not 0.0.0.0:\n"
    "The First octet must be 255,\n"
    "Followed by a continuous [binary] series of 1's until,\n"
    "Followed by a continuous [binary] series of 0's.\n"
    "Fourth octet of Subnet IP address cannot be 255.\n"
    "Please specify another value for this field.";
const char* const kThreeDigits =
    "Please enter 3 digit characters per octet.\n"
    "Range of possible correct values are 000 thru 255.";
const char* const kAutoIp =
    "Auto IP values 169.254 and 169.255 are not allowed for the first two IP address octets.\n"
    "Please specify a value lower than 254 for the second octet.";
const char* const kOutOfRange =
    "%d is not a valid entry.\nPlease specify a value between 0 and 255 for this field.";
const char* const kNoticeStart = "NOTICE: The Subnet Mask has been set to a Class ";
const char* const kNoticeEnd = "default value.";

// The value of a group of exactly three digits, or -8.
int GroupValue(const std::string& g) {
    if (g.size() != 3)
        return -8;
    int v = 0;
    for (char c : g) {
        if (c < '0' || c > '9')
            return -8;
        v = v * 10 + (c - '0');
    }
    return v;
}

int HostRule(const std::array<int, 4>& v, int i) {
    if (i == 0 && (v[0] == 127 || v[0] > 223))
        return -4;
    if (i == 1 && v[0] == 169 && (v[1] == 254 || v[1] == 255))
        return -9;
    if (i >= 1 && v[0] == 0) {
        for (int k = 1; k <= i; ++k) {
            if (v[k] != 0)
                return -5;
        }
    }
    if (i == 3 && v[3] == 255)
        return -6;
    return 0;
}

int SubnetRule(const std::array<int, 4>& v, int i) {
    if (i == 0)
        return (v[0] == 0 || v[0] == 255) ? 0 : -7;
    bool zeroBitSeen = false;
    for (int k = 0; k <= i; ++k) {
        int octet = v[k];
        if (zeroBitSeen && octet != 0)
            return -7;
        bool oneSeen = false;
        for (int bit = 0; bit < 8; ++bit) {
            bool set = (octet >> bit) & 1;
            if (set) {
                oneSeen = true;
            } else if (oneSeen) {
                return -7;
            }
        }
        if ((octet & 1) == 0)
            zeroBitSeen = true;
    }
    if (i == 3 && v[3] == 255)
        return -7;
    return 0;
}

}  // namespace

AddressCheck CheckAddressText(const std::string& text, IpFieldKind kind) {
    AddressCheck r;
    std::array<int, 4> v{};
    size_t pos = 0;  // start of the remaining text
    for (int i = 0; i < 4; ++i) {
        const std::string rest = text.substr(pos);
        size_t groupEnd = pos;
        int code = 0;
        size_t next = pos;
        if (rest.empty()) {
            code = -1;
        } else if (i < 3) {
            size_t dot = rest.find('.');
            if (dot == 0) {
                code = -1;
            } else if (dot == std::string::npos) {
                code = -2;
                groupEnd = text.size();
            } else {
                groupEnd = pos + dot;
                code = GroupValue(rest.substr(0, dot));
                next = pos + dot + 1;
            }
        } else {
            if (rest[0] == '.') {
                code = -1;
            } else if (rest.size() > 3 || rest.find('.') != std::string::npos) {
                code = -3;
                groupEnd = text.size();
            } else {
                groupEnd = text.size();
                code = GroupValue(rest);
            }
        }
        if (code >= 0 && code <= 255) {
            v[i] = code;
            if (kind == IpFieldKind::HostAddress) {
                code = HostRule(v, i);
            } else if (kind == IpFieldKind::SubnetMask) {
                code = SubnetRule(v, i);
            } else {
                code = 0;
            }
        }
        if (code != 0) {
            r.code = code;
            r.group = i;
            r.selStart = static_cast<int>(pos);
            r.selEnd = static_cast<int>(groupEnd);
            return r;
        }
        pos = next;
    }
    r.ok = true;
    for (int i = 0; i < 4; ++i)
        r.octets[i] = static_cast<uint8_t>(v[i]);
    return r;
}

std::string AddressCheckMessage(int code) {
    switch (code) {
        case -1:
            return kMissingValue;
        case -2:
            return kMissingDelimiter;
        case -3:
            return kExtraneous;
        case -4:
            return kFirstOctetReserved;
        case -5:
            return kZeroFirstOctet;
        case -6:
            return kFourthOctetReserved;
        case -7:
            return kSubnetShape;
        case -8:
            return kThreeDigits;
        case -9:
            return kAutoIp;
        default:
            break;
    }
    if (code <= 255)
        return {};
    char buf[160];
    std::snprintf(buf, sizeof buf, kOutOfRange, code);
    return buf;
}

namespace {
MaskSeparators AddressSeparators() {
    MaskSeparators s = MaskSeparators::FromLocale();
    s.decimal = '.';
    return s;
}
}  // namespace

CIPAddrEdit::CIPAddrEdit(UiHost& ui, IpFieldKind kind)
    : CMaskedEdit(ui, kMask, AddressSeparators()), kind_(kind) {
    SetPromptChar(kPrompt);
}

std::string CIPAddrEdit::FormatAddress(const uint8_t* octets) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03u.%03u.%03u.%03u", unsigned{octets[0]}, unsigned{octets[1]},
                  unsigned{octets[2]}, unsigned{octets[3]});
    return buf;
}

void CIPAddrEdit::SetAddress(const uint8_t* octets) {
    if (octets == nullptr)
        return;
    SetText(FormatAddress(octets));
}

bool CIPAddrEdit::GetAddress(uint8_t* octets) {
    if (octets == nullptr)
        return false;
    for (int i = 0; i < 4; ++i)
        octets[i] = 0;
    AddressCheck r = Check();
    if (!r.ok)
        return false;
    for (int i = 0; i < 4; ++i)
        octets[i] = r.octets[i];
    return true;
}

AddressCheck CIPAddrEdit::Check() {
    AddressCheck r = CheckAddressText(GetText(), kind_);
    if (!r.ok) {
        SetSel(r.selStart, r.selEnd);
        Ui().MessageBox(AddressCheckMessage(r.code), kErrorCaption, UiHost::Icon::Exclamation,
                        UiHost::Buttons::Ok, UiHost::Answer::Ok);
    }
    return r;
}

bool CIPAddrEdit::CheckOnLeave() {
    AddressCheck r = Check();
    if (!r.ok)
        return false;
    if (subnet_ != nullptr)
        FitSubnetMask(r.octets);
    return true;
}

void CIPAddrEdit::FitSubnetMask(const std::array<uint8_t, 4>& a) {
    if (subnet_ == nullptr)
        return;
    std::array<uint8_t, 4> m{};
    bool valid = subnet_->GetAddress(m);
    char cls;
    std::array<uint8_t, 4> def{};
    bool fits;
    if ((a[0] & 0xE0) == 0xC0) {
        cls = 'C';
        def = {255, 255, 255, 0};
        fits = m[0] == 255 && m[1] == 255 && m[2] == 255;
    } else if ((a[0] & 0xC0) == 0x80) {
        cls = 'B';
        def = {255, 255, 0, 0};
        fits = m[0] == 255 && m[1] == 255;
    } else {
        cls = 'A';
        def = {255, 0, 0, 0};
        fits = m[0] == 255 || (a[0] == 0 && m[0] == 0);
    }
    if (valid && fits)
        return;
    subnet_->SetAddress(def);
    std::string notice = std::string(kNoticeStart) + cls + ' ' + kNoticeEnd;
    Ui().MessageBox(notice, UiHost::kProgramName, UiHost::Icon::Information, UiHost::Buttons::Ok,
                    UiHost::Answer::Ok);
}

bool ExchangeAddress(CIPAddrEdit& field, std::array<uint8_t, 4>& member, bool save) {
    if (!save) {
        field.SetAddress(member);
        return true;
    }
    std::array<uint8_t, 4> octets{};
    if (!field.GetAddress(octets)) {
        field.SelectAll();
        field.RequestFocus();
        return false;
    }
    member = octets;
    return true;
}
