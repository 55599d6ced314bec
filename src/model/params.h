#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/frame.h"  // HexToBytes

class QorDoc;

// One parameter object per device key: the value as text and its conversions to and from the
// module's fixed-size byte form.
class CParam {
public:
    virtual ~CParam();

    virtual int Size() const = 0;
    // Encodes the text into buffer (Size() bytes long); returns the number of bytes produced.
    virtual int ToDevice(uint8_t* buffer, QorDoc& doc) const = 0;
    // hex holds the data part of the module's reply, two hexadecimal characters per byte.
    virtual void FromDevice(QorDoc& doc, const std::string& hex) = 0;

    std::string text;
    bool fromDevice = false;
};

class CTextParam : public CParam {
public:
    static constexpr int kSize = 84;
    static constexpr int kMaxChars = 82;
    int Size() const override { return kSize; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

class CReadOnlyTextParam : public CTextParam {
public:
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
};

class CBaudParam : public CParam {
public:
    int Size() const override { return 2; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

// A parameter whose device form is a two-byte index into a fixed list of texts.
class CListCodeParam : public CParam {
public:
    explicit CListCodeParam(std::vector<std::string> texts) : texts_(std::move(texts)) {}
    int Size() const override { return 2; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;

private:
    std::vector<std::string> texts_;
};

class CSpeedDuplexParam : public CListCodeParam {
public:
    CSpeedDuplexParam();
};

class CIpConfigParam : public CListCodeParam {
public:
    CIpConfigParam();
};

class CFlagParam : public CParam {
public:
    int Size() const override { return 2; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

class CIpAddrParam : public CParam {
public:
    static constexpr int kSize = 8;
    int Size() const override { return kSize; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;

    // The address forms shared with the five-address block.
    static void Encode(const std::string& address, uint8_t* buffer);
    static std::string Decode(const uint8_t* buffer);
};

class CAddrBlockParam : public CParam {
public:
    int Size() const override { return 5 * CIpAddrParam::kSize; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

class CHwAddrParam : public CParam {
public:
    int Size() const override { return 6; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

// Values that never travel on their own: they exist to carry "YES"/"NO" between the pages, the
// baud conversion and the saved configurations.
class CLocalParam : public CParam {
public:
    int Size() const override { return 2; }
    int ToDevice(uint8_t* buffer, QorDoc& doc) const override;
    void FromDevice(QorDoc& doc, const std::string& hex) override;
};

// Lists of texts the document holds for the coded parameters, in code order.
extern const std::vector<std::string> kBaudTexts;         // "Auto", "1200" .. "57600"
extern const std::vector<std::string> kSpeedDuplexTexts;  // "Auto Negotiate" ..
extern const std::vector<std::string> kIpConfigTexts;     // "Bootp" .. "DHCP"
