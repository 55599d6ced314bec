// The command layer: requests as hex text with a transaction number, sent through the serial
// channel, and the result codes of the device operations.
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "host/progress.h"
#include "host/ui_host.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"

namespace {

constexpr const char* kResultTexts[] = {
    "ERROR_SUCCESS",
    "WT4RSP_IS_SET",
    "Communication Error",
    "ERROR_CNVRT_RXBFR",
    "Invalid Comm Port Selected",
    "WT4RSP_GOT_RESET",
    "Received incorrect data amount",
    "Unable to Connect to QOR\nPlease check cable / Port Settings",
    "No Response from QOR",
    "ERR_ILLEG_INTL_BXLDWT4RSPSVCCDE_STATE",
    "ERR_VALIDATION",
    "ERR_XMIT",
    "Stopped",
};

constexpr int kHwAddrNode = 0xFE;
constexpr int kIdentityNode = 0xF8;
constexpr int kProbeSize = 6;
// Reply wait while the module may still be coming up; the channel stores it as 60 (6 s).
constexpr int16_t kUnaskedWait = 100;
constexpr int16_t kAwaitWait = 20;

// The answer to the module's own message starts with our pair of nodes: to the module, from us.
constexpr const char* kAnswerNodes = "FE00";

std::string Format(const char* format, int a, int b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Part(const std::string& s, size_t pos, size_t n) {
    return pos < s.size() ? s.substr(pos, n) : std::string();
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Request heads by device key: 1..30 node C8 at address key, 31..70 node C9 at address
// key - 30, anything else node = key at address 0.
std::string ReadRequest(int key, int size) {
    if (key >= 1 && key <= 30) return Format("C8000100TTTT%02X00%02X", key, size);
    if (key >= 31 && key <= 70) return Format("C9000100TTTT%02X00%02X", key - 30, size);
    return Format("%02X000100TTTT0000%02X", key, size);
}

std::string WriteRequest(int key) {
    if (key >= 1 && key <= 30) return Format("C8000800TTTT%02X00", key);
    if (key >= 31 && key <= 70) return Format("C9000800TTTT%02X00", key - 30);
    return Format("%02X000800TTTT0000", key);
}

void Step(CProgressWnd* progress) {
    if (progress) progress->StepIt();
}

void Pump(UiHost* ui) {
    if (ui) ui->ProcessPendingEvents();
}

}  // namespace

const char* QorDoc::ResultText(int code) {
    return code >= 0 && code < static_cast<int>(std::size(kResultTexts)) ? kResultTexts[code] : "";
}

void QorDoc::SetLinkProfile(int baudIndex, int port) {
    LinkProfile profile = LinkProfileFor(baudIndex);
    channel_->SetBaudRate(profile.baud);
    channel_->SetPort(static_cast<int16_t>(port));
    channel_->SetReplyWait(profile.replyWait);
    channel_->SetAckWait(profile.ackWait);
}

int QorDoc::Failure(int code) const {
    return channel_->StopRequested() ? kStopped : code;
}

std::string QorDoc::Transact(const std::string& request) {
    std::string text = request;
    if (Part(text, 8, 4) == "TTTT") {
        char number[8];
        std::snprintf(number, sizeof number, "%02X%02X", transaction_ & 0xFF, transaction_ >> 8);
        ++transaction_;
        text = text.substr(0, 8) + number + text.substr(12);
    }
    std::string reply = channel_->SendAndReceive(text);
    // A reply to an earlier request may still have been on its way: one more, and only one.
    if (!reply.empty() && Part(reply, 4, 4) != Part(text, 8, 4)) reply = channel_->ReceiveNext();
    return reply;
}

int QorDoc::Connect(int baudIndex, int port, CProgressWnd* progress, UiHost* ui) {
    if (!channel_->IsOpen()) SetLinkProfile(baudIndex, port);
    if (!channel_->Open()) return Failure(kInvalidPort);
    Step(progress);
    auto answer = [this](const std::string& message) {
        channel_->SendFrame(std::string(kAnswerNodes) + "4600" +
                            Part(message, 4, std::string::npos));
    };
    std::string reply = Transact(Format("%02X000100TTTT0000%02X", kHwAddrNode, kProbeSize));
    if (!reply.empty()) {
        if (StartsWith(reply, "4100")) return kSuccess;
        if (StartsWith(reply, "0600")) {
            answer(reply);
            return kSuccess;
        }
        return kUnableToConnect;
    }
    if (channel_->StopRequested()) return kStopped;
    // No answer to the probe: a module that is starting up may still announce itself.
    int16_t saved = channel_->GetReplyWait();
    channel_->SetReplyWait(kUnaskedWait);
    Pump(ui);
    reply = channel_->ReceiveNext();
    channel_->SetReplyWait(saved);
    Step(progress);
    if (reply.empty()) return Failure(kUnableToConnect);
    if (StartsWith(reply, "0600")) answer(reply);
    return kSuccess;
}

int QorDoc::Identify() {
    webCapable_ = 0;
    std::string reply = Transact(Format("%02X000100TTTT000054", kIdentityNode));
    if (reply.empty()) return Failure(kNoResponse);
    if (!StartsWith(reply, "4100")) return kCommunicationError;
    // A short block carries no revision; the module is then taken as one without web pages.
    if (reply.size() < 140) return kSuccess;
    auto t = [&reply](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(reply[i]));
    };
    // The revision digits "0M.0m" of the identification text, read as character codes.
    uint8_t major = static_cast<uint8_t>((16 * t(128) + t(135) + 160) | (16 * t(129)));
    uint8_t minor = static_cast<uint8_t>((16 * t(138) + t(137) + 160) | (16 * t(139)));
    if (major > 2 || (major == 2 && minor > 0)) {
        reply = Transact(Format("%02X000100TTTT0000A8", kIdentityNode));
        if (reply.empty()) return Failure(kNoResponse);
        if (!StartsWith(reply, "4100")) return kCommunicationError;
        if (Part(reply, 188, 16) == "3030303030303130") webCapable_ = 1;
    }
    return kSuccess;
}

int QorDoc::ReadParameter(int key, CParam& param) {
    std::string reply = Transact(ReadRequest(key, param.Size()));
    if (reply.empty()) return Failure(kNoResponse);
    if (!StartsWith(reply, "4100")) return kCommunicationError;
    param.FromDevice(*this, Part(reply, 8, std::string::npos));
    param.fromDevice = true;
    return kSuccess;
}

int QorDoc::WriteParameter(int key, CParam& param) {
    std::vector<uint8_t> form(static_cast<size_t>(param.Size()), 0);
    int n = param.ToDevice(form.data(), *this);
    std::string reply =
        Transact(WriteRequest(key) + BytesToHex(form.data(), static_cast<size_t>(n)));
    if (reply.empty()) return Failure(kNoResponse);
    return StartsWith(reply, "4800") ? kSuccess : kCommunicationError;
}

int QorDoc::SendReset(int kind) {
    std::string request = Format("%02X000800TTTT0000%02X00", kIdentityNode, kind);
    if (!channel_->Open()) return Failure(kInvalidPort);
    std::string reply = Transact(request);
    channel_->Close();  // the module restarts
    return StartsWith(reply, "4800") ? kSuccess : Failure(kCommunicationError);
}

int QorDoc::AwaitModule(int baudIndex, int port, CProgressWnd* progress, UiHost* ui) {
    if (!channel_->IsOpen()) SetLinkProfile(baudIndex, port);
    if (!channel_->Open()) return Failure(kInvalidPort);
    Step(progress);
    channel_->SetReplyWait(kAwaitWait);
    Pump(ui);
    std::string message = channel_->ReceiveNext();
    Step(progress);
    return message.empty() ? Failure(kUnableToConnect) : kSuccess;
}
