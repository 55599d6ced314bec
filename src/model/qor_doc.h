#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "model/params.h"

class CProgressWnd;
class SerialChannel;
class UiHost;

// The configuration document: 188 parameter texts by identifier, their objects by device key,
// the transfer queue of device keys, the transaction number and the web capability flag.
class QorDoc {
public:
    static constexpr int kParamCount = 188;

    // Identifiers the other units name.
    static constexpr int kIdFirstRoute = 0;
    static constexpr int kIdFirstEmailDest = 50;
    static constexpr int kIdFirstWebConfig = 100;
    static constexpr int kIdFirstWebDataDesc = 130;
    static constexpr int kIdDiagnostics = 170;
    static constexpr int kIdIpAddress = 171;
    static constexpr int kIdSubnetMask = 172;
    static constexpr int kIdGateway = 173;
    static constexpr int kIdSecurityMask1 = 174;
    static constexpr int kIdSecurityMask2 = 175;
    static constexpr int kIdFrom = 176;
    static constexpr int kIdUsername = 177;
    static constexpr int kIdPassword = 178;
    static constexpr int kIdSmtpAuth = 179;
    static constexpr int kIdEmailServer = 180;
    static constexpr int kIdCfgSecMask = 181;
    static constexpr int kIdIpConfig = 182;
    static constexpr int kIdBaud = 183;
    static constexpr int kIdSpeedDuplex = 184;
    static constexpr int kIdHwAddress = 185;
    static constexpr int kIdEnableRouting = 186;
    static constexpr int kIdSeriesB = 187;

    static constexpr const char* kUnknownParameter = "QorDoc::GET() Unknown Parameter Specified";

    QorDoc();
    ~QorDoc();
    QorDoc(const QorDoc&) = delete;
    QorDoc& operator=(const QorDoc&) = delete;

    // Device key of an identifier; -1 outside 0..187.
    static int KeyOf(int id);
    // Parameter object of a device key; null for a key no identifier maps to.
    CParam* ParamOf(int key);

    std::string GET(int id) const;
    void SET(int id, const std::string& text);
    void UPDATE(int id, const std::string& text, bool force);
    void QUEUE(int id);

    bool IsQueueEmpty() const { return queue_.empty(); }
    size_t QueueCount() const { return queue_.size(); }
    bool IsQueued(int key) const;
    // Removes and returns the head key; -1 when the queue is empty.
    int TakeNext();
    void ClearQueue() { queue_.clear(); }
    const std::deque<uint8_t>& Queue() const { return queue_; }

    // Ends the link: the hardware address becomes empty and the serial channel is closed.
    void Disconnect();

    // --- the command layer between the document and the serial channel (command_protocol.cpp)
    enum Result {
        kSuccess = 0,
        kCommunicationError = 2,
        kInvalidPort = 4,
        kUnableToConnect = 7,
        kNoResponse = 8,
        // The channel was asked to stop (a provisioning run ending); not a fault of the link.
        kStopped = 12,
    };
    // The fixed text of a result code 0..12; empty for any other code.
    static const char* ResultText(int code);

    // The channel the requests travel on: the program's own unless another is attached.
    SerialChannel& Channel() { return *channel_; }
    void AttachChannel(SerialChannel& channel) { channel_ = &channel; }

    void SetLinkProfile(int baudIndex, int port);
    // Fills a "TTTT" transaction field, sends, and returns the reply text (empty when none).
    std::string Transact(const std::string& request);
    // progress and ui may be null; they are stepped and given time where the waits are long.
    int Connect(int baudIndex, int port, CProgressWnd* progress, UiHost* ui);
    int Identify();
    int ReadParameter(int key, CParam& param);
    int WriteParameter(int key, CParam& param);
    // Always leaves the channel closed.
    int SendReset(int kind);
    int AwaitModule(int baudIndex, int port, CProgressWnd* progress, UiHost* ui);

    uint16_t& TransactionNumber() { return transaction_; }
    bool WebCapable() const { return webCapable_ != 0; }
    void SetWebCapable(bool on) { webCapable_ = on ? 1 : 0; }

private:
    void Enqueue(int key);
    // A request's failure, or kStopped when the channel was asked to stop.
    int Failure(int code) const;

    std::map<int, std::unique_ptr<CParam>> params_;
    std::deque<uint8_t> queue_;
    uint16_t transaction_;
    uint8_t webCapable_ = 0;
    std::string addrFields_[5];  // identifiers 171..175
    SerialChannel* channel_;
};
