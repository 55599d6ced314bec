#include "model/params.h"

#include <cstdio>
#include <cstring>

#include "model/qor_doc.h"

const std::vector<std::string> kBaudTexts = {"Auto", "1200",  "2400",  "4800",
                                             "9600", "19200", "38400", "57600"};
const std::vector<std::string> kSpeedDuplexTexts = {
    "Auto Negotiate", "10 Mbps half-duplex", "10 Mbps full-duplex", "100 Mbps half-duplex",
    "100 Mbps full-duplex"};
const std::vector<std::string> kIpConfigTexts = {"Bootp", "Soft", "Bootp Fallback",
                                                 "Bootp Always", "DHCP"};

CParam::~CParam() = default;

namespace {

// The reply may be shorter than the device form: the missing bytes read as zero.
std::vector<uint8_t> DeviceBytes(const std::string& hex, size_t size) {
    std::vector<uint8_t> bytes = HexToBytes(hex);
    bytes.resize(std::max(bytes.size(), size), 0);
    return bytes;
}

int IndexOf(const std::vector<std::string>& list, const std::string& text) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == text) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

// Counted text: 16-bit count, then the characters in pairs with each pair swapped. Texts longer
// than the form holds are cut rather than written past its end.
int CTextParam::ToDevice(uint8_t* buffer, QorDoc&) const {
    std::memset(buffer, 0, kSize);
    size_t n = std::min<size_t>(text.size(), kMaxChars);
    buffer[0] = static_cast<uint8_t>(n & 0xFF);
    buffer[1] = static_cast<uint8_t>(n >> 8);
    for (size_t i = 0; i < n; ++i) {
        buffer[2 + (i ^ 1)] = static_cast<uint8_t>(text[i]);
    }
    return kSize;
}

void CTextParam::FromDevice(QorDoc&, const std::string& hex) {
    std::vector<uint8_t> bytes = DeviceBytes(hex, kSize);
    text.clear();
    for (size_t i = 0; i < static_cast<size_t>(kMaxChars); ++i) {
        uint8_t c = bytes[2 + (i ^ 1)];
        if (c == 0) break;
        text.push_back(static_cast<char>(c));
    }
}

int CReadOnlyTextParam::ToDevice(uint8_t*, QorDoc&) const { return 0; }

int CBaudParam::ToDevice(uint8_t* buffer, QorDoc& doc) const {
    int index = IndexOf(kBaudTexts, text);
    if (doc.GET(QorDoc::kIdEnableRouting) != "NO") {
        buffer[0] = static_cast<uint8_t>(100 + std::max(index, 0));
    } else {
        buffer[0] = static_cast<uint8_t>(std::max(index, 0));
    }
    buffer[1] = 0;
    return 2;
}

void CBaudParam::FromDevice(QorDoc& doc, const std::string& hex) {
    int c = DeviceBytes(hex, 2)[0];
    if (c >= 100 && c <= 107) {
        text = kBaudTexts[c - 100];
        doc.UPDATE(QorDoc::kIdEnableRouting, "YES", false);
    } else {
        text = kBaudTexts[c <= 7 ? c : 0];
        doc.UPDATE(QorDoc::kIdEnableRouting, "NO", false);
    }
}

int CListCodeParam::ToDevice(uint8_t* buffer, QorDoc&) const {
    buffer[0] = static_cast<uint8_t>(std::max(IndexOf(texts_, text), 0));
    buffer[1] = 0;
    return 2;
}

void CListCodeParam::FromDevice(QorDoc&, const std::string& hex) {
    size_t c = DeviceBytes(hex, 2)[0];
    text = texts_[c < texts_.size() ? c : 0];
}

CSpeedDuplexParam::CSpeedDuplexParam() : CListCodeParam(kSpeedDuplexTexts) {}
CIpConfigParam::CIpConfigParam() : CListCodeParam(kIpConfigTexts) {}

int CFlagParam::ToDevice(uint8_t* buffer, QorDoc&) const {
    buffer[0] = text == "1" ? 1 : 0;
    buffer[1] = 0;
    return 2;
}

// Codes above 1 have no text of their own; they read as set.
void CFlagParam::FromDevice(QorDoc&, const std::string& hex) {
    text.assign(1, DeviceBytes(hex, 2)[0] == 0 ? '0' : '1');
}

void CIpAddrParam::Encode(const std::string& address, uint8_t* buffer) {
    std::memset(buffer, 0, kSize);
    int octet = 0;
    for (char c : address) {
        if (c == '.') {
            if (++octet > 3) break;  // a fourth '.' would write past the form
            continue;
        }
        uint8_t& b = buffer[2 * octet];
        b = static_cast<uint8_t>(b * 10 + (c - '0'));
    }
}

std::string CIpAddrParam::Decode(const uint8_t* buffer) {
    char out[16];
    std::snprintf(out, sizeof out, "%03u.%03u.%03u.%03u", buffer[0], buffer[2], buffer[4],
                  buffer[6]);
    return out;
}

int CIpAddrParam::ToDevice(uint8_t* buffer, QorDoc&) const {
    Encode(text, buffer);
    return kSize;
}

void CIpAddrParam::FromDevice(QorDoc&, const std::string& hex) {
    text = Decode(DeviceBytes(hex, kSize).data());
}

int CAddrBlockParam::ToDevice(uint8_t* buffer, QorDoc& doc) const {
    for (int i = 0; i < 5; ++i) {
        CIpAddrParam::Encode(doc.GET(QorDoc::kIdIpAddress + i), buffer + i * CIpAddrParam::kSize);
    }
    return Size();
}

void CAddrBlockParam::FromDevice(QorDoc& doc, const std::string& hex) {
    std::vector<uint8_t> bytes = DeviceBytes(hex, Size());
    for (int i = 0; i < 5; ++i) {
        doc.SET(QorDoc::kIdIpAddress + i, CIpAddrParam::Decode(bytes.data() + i * CIpAddrParam::kSize));
    }
}

int CHwAddrParam::ToDevice(uint8_t*, QorDoc&) const { return 0; }

void CHwAddrParam::FromDevice(QorDoc&, const std::string& hex) {
    std::string h = hex.substr(0, 12);
    h.resize(12, '0');
    text.clear();
    for (int i = 0; i < 6; ++i) {
        if (i) text.push_back(':');
        text.append(h, 2 * i, 2);
    }
}

int CLocalParam::ToDevice(uint8_t*, QorDoc&) const { return 0; }
void CLocalParam::FromDevice(QorDoc&, const std::string&) {}
