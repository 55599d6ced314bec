#include "model/qor_doc.h"

#include "link/serial_channel.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool ValidId(int id) { return id >= 0 && id < QorDoc::kParamCount; }

bool IsAddrField(int id) { return id >= QorDoc::kIdIpAddress && id <= QorDoc::kIdSecurityMask2; }

// Keys of identifiers 170..187.
constexpr uint8_t kSingleKeys[18] = {0xF8, 0xFA, 0xFA, 0xFA, 0xFA, 0xFA, 0xF9, 0xF2, 0xF3,
                                     0xF4, 0xFB, 0xF5, 0xFC, 0xFD, 0xF1, 0xFE, 0xF6, 0xF7};

std::unique_ptr<CParam> MakeParam(int id) {
    if (id < 50) return std::make_unique<CIpAddrParam>();
    if (id < 170) return std::make_unique<CTextParam>();
    switch (id) {
        case QorDoc::kIdDiagnostics: return std::make_unique<CReadOnlyTextParam>();
        case QorDoc::kIdIpAddress: return std::make_unique<CAddrBlockParam>();
        case QorDoc::kIdFrom:
        case QorDoc::kIdUsername:
        case QorDoc::kIdPassword: return std::make_unique<CTextParam>();
        case QorDoc::kIdSmtpAuth: return std::make_unique<CFlagParam>();
        case QorDoc::kIdEmailServer:
        case QorDoc::kIdCfgSecMask: return std::make_unique<CIpAddrParam>();
        case QorDoc::kIdIpConfig: return std::make_unique<CIpConfigParam>();
        case QorDoc::kIdBaud: return std::make_unique<CBaudParam>();
        case QorDoc::kIdSpeedDuplex: return std::make_unique<CSpeedDuplexParam>();
        case QorDoc::kIdHwAddress: return std::make_unique<CHwAddrParam>();
        default: return std::make_unique<CLocalParam>();  // 186, 187
    }
}

}  // namespace

QorDoc::QorDoc()
    : transaction_(static_cast<uint16_t>(std::rand() & 0xFFFF)), channel_(&ProgramChannel()) {
    for (int id = 0; id < kParamCount; ++id) {
        int key = KeyOf(id);
        if (!params_.count(key)) params_[key] = MakeParam(id);
    }
}

QorDoc::~QorDoc() = default;

int QorDoc::KeyOf(int id) {
    if (!ValidId(id)) return -1;
    if (id < 100) return id + 100;
    if (id < 170) return id - 99;
    return kSingleKeys[id - 170];
}

CParam* QorDoc::ParamOf(int key) {
    auto it = params_.find(key);
    return it == params_.end() ? nullptr : it->second.get();
}

std::string QorDoc::GET(int id) const {
    if (!ValidId(id)) return kUnknownParameter;
    if (IsAddrField(id)) return addrFields_[id - kIdIpAddress];
    return params_.at(KeyOf(id))->text;
}

void QorDoc::SET(int id, const std::string& text) {
    if (!ValidId(id)) return;
    if (IsAddrField(id)) {
        addrFields_[id - kIdIpAddress] = text;
    } else {
        params_.at(KeyOf(id))->text = text;
    }
}

void QorDoc::UPDATE(int id, const std::string& text, bool force) {
    if (!ValidId(id)) return;
    int key = KeyOf(id);
    if (!force && ParamOf(key)->fromDevice && GET(id) == text) return;
    SET(id, text);
    Enqueue(key);
}

void QorDoc::QUEUE(int id) {
    if (ValidId(id)) Enqueue(KeyOf(id));
}

bool QorDoc::IsQueued(int key) const {
    return std::find(queue_.begin(), queue_.end(), key) != queue_.end();
}

int QorDoc::TakeNext() {
    if (queue_.empty()) return -1;
    int key = queue_.front();
    queue_.pop_front();
    return key;
}

void QorDoc::Enqueue(int key) {
    if (!IsQueued(key)) queue_.push_back(static_cast<uint8_t>(key));
}

void QorDoc::Disconnect() {
    SET(kIdHwAddress, "");
    if (channel_->IsOpen()) channel_->Close();
}
