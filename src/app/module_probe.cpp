#include "app/module_probe.h"

#include "link/port_problem.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

// Read 6 bytes of the hardware address node: the connect probe, whose data is the address.
constexpr const char* kProbe = "FE000100TTTT000006";
// The identity block, and the long one whose first 84 bytes are the same block.
constexpr const char* kIdentity = "F8000100TTTT000054";
constexpr const char* kLongIdentity = "F8000100TTTT0000A8";
constexpr size_t kIdentityChars = 2 * 84;
// The answer to the module's own message ("0600..."), as the connect gives it.
constexpr const char* kAnswerHead = "FE004600";

constexpr int kHwAddrKey = 0xFE;
constexpr int kIdentityKey = 0xF8;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Part(const std::string& s, size_t pos, size_t n = std::string::npos) {
    return pos < s.size() ? s.substr(pos, n) : std::string();
}

// Whether an identity block reply shows a module with web pages: a revision above 2.0 (the
// revision digits of the text, read as Identify reads them) and the capability bytes of the
// long block.
bool WebCapable(const std::string& reply) {
    if (reply.size() < 204) return false;
    auto t = [&reply](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(reply[i]));
    };
    uint8_t major = static_cast<uint8_t>((16 * t(128) + t(135) + 160) | (16 * t(129)));
    uint8_t minor = static_cast<uint8_t>((16 * t(138) + t(137) + 160) | (16 * t(139)));
    bool newer = major > 2 || (major == 2 && minor > 0);
    return newer && reply.compare(188, 16, "3030303030303130") == 0;
}

}  // namespace

const char* ModuleProbe::OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Module:
            return "found";
        case Outcome::Nothing:
            return "no module";
        case Outcome::Unidentified:
            return "failed";
        case Outcome::PortGone:
            return "gone";
        case Outcome::PortFailed:
            return "open failed";
        case Outcome::Stopped:
            return "cancelled";
    }
    return "";
}

ModuleProbe ProbeModule(SerialChannel& channel, QorDoc& doc, const std::vector<int>& baudIndexes,
                        const std::function<void(uint32_t rate)>& rateStarted) {
    using Outcome = ModuleProbe::Outcome;
    ModuleProbe r;
    auto finish = [&](Outcome outcome, std::string error = {}) {
        channel.Close();
        // The link's usual patience for whoever uses the channel next.
        channel.SetEnqLimit(1);
        if (channel.StopRequested() && outcome != Outcome::Module) {
            outcome = Outcome::Stopped;
            error.clear();
        } else if (channel.DeviceGone() && outcome != Outcome::Module) {
            outcome = Outcome::PortGone;
            error = port_problem::DeviceGoneMessage(channel);
        }
        r.outcome = outcome;
        r.error = std::move(error);
        return r;
    };

    for (int baudIndex : baudIndexes) {
        if (channel.StopRequested()) break;
        LinkProfile profile = LinkProfileFor(baudIndex);
        if (rateStarted) rateStarted(profile.baud);
        channel.SetBaudRate(profile.baud);
        channel.SetReplyWait(profile.replyWait);
        channel.SetAckWait(profile.ackWait);
        // One acknowledgement wait and no enquiry: silence at a rate rules it out.
        channel.SetEnqLimit(0);
        if (!channel.Open()) {
            // A port that opened at an earlier rate and is missing now was unplugged.
            if (!r.ratesTried.empty() && channel.OpenProblem() == SerialPort::Problem::NoDevice)
                return finish(Outcome::PortGone, port_problem::DeviceGoneMessage(channel));
            return finish(Outcome::PortFailed, channel.OpenError());
        }
        r.ratesTried.push_back(profile.baud);
        std::string reply = doc.Transact(kProbe);
        if (channel.DeviceGone() || channel.StopRequested()) return finish(Outcome::Nothing);
        if (reply.empty()) {
            channel.Close();
            continue;
        }

        // Something speaks the link at this rate: from here on the link's usual patience.
        r.rate = profile.baud;
        r.baudIndex = baudIndex;
        channel.SetEnqLimit(1);
        if (StartsWith(reply, "0600")) {
            // A module that has just started announces itself until it is answered.
            channel.SendFrame(kAnswerHead + Part(reply, 4));
            reply = doc.Transact(kProbe);
        }
        auto unidentified = [&](int code) {
            return finish(Outcome::Unidentified,
                          QorDoc::ResultText(reply.empty() ? QorDoc::kNoResponse : code));
        };
        if (!StartsWith(reply, "4100")) return unidentified(QorDoc::kCommunicationError);
        CParam* hw = doc.ParamOf(kHwAddrKey);
        hw->FromDevice(doc, Part(reply, 8));
        r.hardwareAddress = hw->text;

        // The long block first: its first 84 bytes are the identity block, so a module with
        // web pages is identified in one request instead of two. One that refuses the long
        // block is asked for the short one.
        reply = doc.Transact(kLongIdentity);
        if (!StartsWith(reply, "4100")) reply = doc.Transact(kIdentity);
        if (!StartsWith(reply, "4100")) return unidentified(QorDoc::kCommunicationError);
        CParam* identity = doc.ParamOf(kIdentityKey);
        identity->FromDevice(doc, Part(reply, 8, kIdentityChars));
        std::string text = identity->text;
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
            text.pop_back();
        r.identification = text;
        r.firmware = CIpAddrPage::FirmwareText(text);
        r.series = CIpAddrPage::kSeriesTexts[CIpAddrPage::SeriesOfRevision(
            CIpAddrPage::FirmwareRevision(text))];
        r.web = WebCapable(reply);
        return finish(Outcome::Module);
    }
    return finish(Outcome::Nothing);
}
