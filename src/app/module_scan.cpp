#include "app/module_scan.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "link/port_problem.h"
#include "link/serial_channel.h"
#include "link/serial_devices.h"
#include "link/serial_port.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

constexpr int kRateCount = 7;
constexpr int kPortCount = 32;

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

// The revision from which a module is series B/C, and the last revision of B/C.
constexpr double kFirstSeriesBRevision = 2.0;
constexpr double kLastSeriesBCRevision = 3.12;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Part(const std::string& s, size_t pos, size_t n = std::string::npos) {
    return pos < s.size() ? s.substr(pos, n) : std::string();
}

std::string SeriesOf(const std::string& identification) {
    double r = CIpAddrPage::FirmwareRevision(identification);
    int series = r < kFirstSeriesBRevision    ? CIpAddrPage::kSeriesA
                 : r <= kLastSeriesBCRevision ? CIpAddrPage::kSeriesBC
                                              : CIpAddrPage::kSeriesD;
    return CIpAddrPage::kSeriesTexts[series];
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

const char* ScanResult::OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Found:
            return "found";
        case Outcome::NoModule:
            return "no module";
        case Outcome::OpenFailed:
            return "open failed";
        case Outcome::Failed:
            return "failed";
        case Outcome::Cancelled:
            return "cancelled";
        case Outcome::Gone:
            return "gone";
    }
    return "";
}

// What one port's thread owns. Only Cancel reaches in, and only to close the channel, under
// openMu so that no rate opens the port again after it.
struct ModuleScan::Worker {
    SerialChannel channel;
    QorDoc doc;
    std::mutex openMu;

    Worker() { doc.AttachChannel(channel); }
};

ModuleScan::ModuleScan(std::vector<ScanPort> ports, int firstBaudIndex, ScanObserver* observer)
    : ports_(std::move(ports)),
      firstBaudIndex_(firstBaudIndex >= 0 && firstBaudIndex < kRateCount ? firstBaudIndex : 1),
      observer_(observer),
      results_(ports_.size()) {
    // Built here rather than on the threads: their constructors draw on the process's
    // pseudo-random generator.
    for (size_t i = 0; i < ports_.size(); ++i)
        workers_.push_back(std::make_unique<Worker>());
}

ModuleScan::~ModuleScan() {
    Cancel();
    Wait();
}

std::vector<int> ModuleScan::RateOrder(int firstBaudIndex) {
    std::vector<int> order;
    if (firstBaudIndex >= 0 && firstBaudIndex < kRateCount) order.push_back(firstBaudIndex);
    for (int i = 0; i < kRateCount; ++i) {
        if (i != firstBaudIndex) order.push_back(i);
    }
    return order;
}

void ModuleScan::Start() {
    for (size_t i = 0; i < ports_.size(); ++i)
        threads_.emplace_back(&ModuleScan::Run, this, i);
}

void ModuleScan::Cancel() {
    cancelled_ = true;
    for (auto& w : workers_) {
        std::lock_guard lk(w->openMu);
        w->channel.Close();
    }
}

void ModuleScan::Wait() {
    for (std::thread& t : threads_) {
        if (t.joinable()) t.join();
    }
}

void ModuleScan::Run(size_t index) {
    Worker& w = *workers_[index];
    SerialChannel& channel = w.channel;
    QorDoc& doc = w.doc;
    ScanResult& r = results_[index];
    r.device = ports_[index].device;
    r.label = ports_[index].label;
    channel.SetDevice(r.device);

    auto finish = [&](ScanResult::Outcome outcome, std::string error = {}) {
        {
            std::lock_guard lk(w.openMu);
            channel.Close();
        }
        if (cancelled_ && outcome != ScanResult::Outcome::Found) {
            outcome = ScanResult::Outcome::Cancelled;
            error.clear();
        }
        r.outcome = outcome;
        r.error = std::move(error);
        if (observer_) observer_->PortFinished(index, r);
    };

    for (int baudIndex : RateOrder(firstBaudIndex_)) {
        LinkProfile profile = LinkProfileFor(baudIndex);
        if (observer_ && !cancelled_) observer_->RateStarted(index, profile.baud);
        bool opened;
        {
            std::lock_guard lk(w.openMu);
            if (cancelled_) break;
            channel.SetBaudRate(profile.baud);
            channel.SetReplyWait(profile.replyWait);
            channel.SetAckWait(profile.ackWait);
            // One acknowledgement wait and no enquiry: silence at a rate rules it out.
            channel.SetEnqLimit(0);
            opened = channel.Open();
        }
        // A port that opened at an earlier rate and is missing now was unplugged.
        bool gone = !opened && !r.ratesTried.empty() &&
                    channel.OpenProblem() == SerialPort::Problem::NoDevice;
        if (gone)
            return finish(ScanResult::Outcome::Gone, port_problem::DeviceGoneMessage(channel));
        if (!opened) return finish(ScanResult::Outcome::OpenFailed, channel.OpenError());
        r.ratesTried.push_back(profile.baud);
        std::string reply = doc.Transact(kProbe);
        if (channel.DeviceGone())
            return finish(ScanResult::Outcome::Gone, port_problem::DeviceGoneMessage(channel));
        if (reply.empty()) {
            std::lock_guard lk(w.openMu);
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
        auto failed = [&](int code) {
            if (channel.DeviceGone())
                return finish(ScanResult::Outcome::Gone, port_problem::DeviceGoneMessage(channel));
            return finish(ScanResult::Outcome::Failed,
                          QorDoc::ResultText(reply.empty() ? QorDoc::kNoResponse : code));
        };
        if (!StartsWith(reply, "4100")) return failed(QorDoc::kCommunicationError);
        CParam* hw = doc.ParamOf(kHwAddrKey);
        hw->FromDevice(doc, Part(reply, 8));
        r.hardwareAddress = hw->text;

        // The long block first: its first 84 bytes are the identity block, so a module with
        // web pages is identified in one request instead of two. One that refuses the long
        // block is asked for the short one.
        reply = doc.Transact(kLongIdentity);
        if (!StartsWith(reply, "4100")) reply = doc.Transact(kIdentity);
        if (!StartsWith(reply, "4100")) return failed(QorDoc::kCommunicationError);
        CParam* identity = doc.ParamOf(kIdentityKey);
        identity->FromDevice(doc, Part(reply, 8, kIdentityChars));
        std::string text = identity->text;
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
            text.pop_back();
        r.identification = text;
        r.firmware = CIpAddrPage::FirmwareText(text);
        r.series = SeriesOf(text);
        r.web = WebCapable(reply);
        return finish(ScanResult::Outcome::Found);
    }
    finish(ScanResult::Outcome::NoModule);
}

std::vector<ScanResult> ScanModules(std::vector<ScanPort> ports, int firstBaudIndex,
                                    ScanObserver* observer) {
    ModuleScan scan(std::move(ports), firstBaudIndex, observer);
    scan.Start();
    scan.Wait();
    return scan.Results();
}

std::vector<ScanPort> PresentScanPorts() {
    std::vector<ScanPort> ports;
    for (const SerialDevice& d : FindSerialDevices())
        ports.push_back({d.devnode, d.Label()});
    for (int n = 1; n <= kPortCount; ++n) {
        std::string variable = "QORW_COM" + std::to_string(n);
        const char* device = std::getenv(variable.c_str());
        if (!device || !*device || ::access(device, F_OK) != 0) continue;
        bool listed = std::any_of(ports.begin(), ports.end(),
                                  [&](const ScanPort& p) { return SameDevice(p.device, device); });
        if (!listed) ports.push_back({device, variable});
    }
    return ports;
}

ScanPort ScanPortFor(const std::string& device) {
    for (const SerialDevice& d : FindSerialDevices()) {
        if (SameDevice(d.devnode, device) || (!d.byId.empty() && SameDevice(d.byId, device)))
            return {device, d.Label()};
    }
    return {device, {}};
}

int ComPortForDevice(const std::string& device) {
    for (int n = 1; n <= kPortCount; ++n) {
        if (SameDevice(DeviceForPort(n), device)) return n;
    }
    return 0;
}
