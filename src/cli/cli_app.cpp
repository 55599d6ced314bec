#include "cli/cli_app.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/utility_dlg.h"
#include "cli/cli_console.h"
#include "cli/cli_json.h"
#include "cli/cli_provision.h"
#include "cli/cli_scan.h"
#include "cli/cli_ui_host.h"
#include "cli/param_compare.h"
#include "cli/serial_ports.h"
#include "link/link_trace.h"
#include "link/port_map.h"
#include "link/serial_channel.h"
#include "link/serial_devices.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

enum class FileKind { Dcf, Text, Unknown };

FileKind KindOf(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return FileKind::Unknown;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == CUtilityDlg::kDcfExt) return FileKind::Dcf;
    if (ext == CUtilityDlg::kTextExt) return FileKind::Text;
    return FileKind::Unknown;
}

bool IsDeviceCommand(const std::string& command) {
    return command == "upload" || command == "download" || command == "verify" ||
           command == "reset" || command == "info";
}

std::string ProgressText(const CProgressWnd& p) {
    constexpr int kWidth = 20;
    int span = std::max(1, p.Upper() - p.Lower());
    int done = std::clamp(p.Pos() - p.Lower(), 0, span);
    int filled = done * kWidth / span;
    return p.Title() + " [" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " +
           std::to_string(done) + "/" + std::to_string(span);
}

std::string TrimRight(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

// One port of "ports --json"; what is not known is null.
nlohmann::ordered_json PortJson(const PortEntry& entry, const std::vector<SerialDevice>& present) {
    auto known = [](const std::string& text) {
        return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(JsonText(text));
    };
    const SerialDevice* device = nullptr;
    for (const SerialDevice& d : present) {
        if (d.devnode == entry.device || d.StableName() == entry.stableName) device = &d;
    }
    std::string byId = device ? device->byId : std::string();
    if (byId.empty() && entry.stableName.rfind("/dev/serial/by-id/", 0) == 0)
        byId = entry.stableName;
    return {{"com", entry.com},
            {"device", known(entry.device)},
            {"by_id", known(byId)},
            {"by_path", known(device ? device->byPath : std::string())},
            {"adapter", known(entry.label)},
            {"serial", known(device ? device->serial : std::string())},
            {"pinned", entry.source == PortSource::Pinned},
            {"present", entry.present}};
}

class CliSession {
public:
    explicit CliSession(const CliOptions& options)
        : options_(options),
          console_(IsDeviceCommand(options.command) && !options.quiet && ::isatty(2)),
          ui_(console_, options.quiet) {}

    int Run();

private:
    // A window of its own, started as the GUI starts, with the command line's link settings.
    std::unique_ptr<CUtilityDlg> NewWindow();
    void ApplyLinkOptions(CUtilityDlg& dlg);
    void Watch(CUtilityDlg& dlg);

    bool Usable(const std::string& name);
    // "File &Load" or "&Text..." by the name's extension; true when it loaded without a word.
    bool Load(CUtilityDlg& dlg, const std::string& name);
    // "File &Save" or "Te&xt..." by the name's extension.
    bool Save(CUtilityDlg& dlg, const std::string& name);
    // What a device operation came to, by what the window shows afterwards.
    int Outcome(CUtilityDlg& dlg, size_t messagesBefore) const;

    int Defaults();
    int Convert();
    int Check();
    int Upload();
    int Download();
    int Verify();
    int Diff();
    int Reset();
    int Info();
    int Ports();

    int PrintDifferences(const std::vector<ParamValue>& a, const std::vector<ParamValue>& b);

    const CliOptions& options_;
    CliConsole console_;
    CliUiHost ui_;
    std::string lastStatus_;
};

bool CliSession::Usable(const std::string& name) {
    if (KindOf(name) != FileKind::Unknown) return true;
    Usage("\"" + name + "\" must end in .dcf or .txt");
    return false;
}

std::unique_ptr<CUtilityDlg> CliSession::NewWindow() {
    auto dlg = std::make_unique<CUtilityDlg>(ui_);
    dlg->Start();
    ApplyLinkOptions(*dlg);
    Watch(*dlg);
    return dlg;
}

void CliSession::ApplyLinkOptions(CUtilityDlg& dlg) {
    // The page's lists are set without a selection event: a selection would rewrite the
    // settings file, and the command line's choice is for this run only. The page then takes
    // its lists over, so that its RestoreLinkBaud after a link failure keeps the chosen rate.
    CUtilitySettingsPage& page = dlg.UtilitySettingsPage();
    if (options_.port) {
        int port = 1;
        if (auto com = ComNumberOf(*options_.port)) {
            port = *com;
        } else {
            // The device goes to this window's channel alone, never into a process-wide setting.
            dlg.Doc().Channel().SetDevice(DeviceNamed(*options_.port));
        }
        page.ComPortList().SetCurSel(port - 1);
        dlg.Link().comPort = static_cast<uint16_t>(port);
    }
    if (options_.baudIndex) page.BaudList().SetCurSel(*options_.baudIndex);
    if (options_.port || options_.baudIndex) {
        page.LinkDown();
        page.RestoreLinkBaud();
    }
}

void CliSession::Watch(CUtilityDlg& dlg) {
    CUtilityDlg* d = &dlg;
    dlg.Progress().SetListener([this, d] {
        const CProgressWnd& p = d->Progress();
        console_.Progress(p.IsOpen() ? ProgressText(p) : std::string());
    });
    if (options_.trace) {
        d->StatusField().SetViewListener([this, d] {
            const std::string& text = d->StatusField().Text();
            if (text == lastStatus_) return;
            lastStatus_ = text;
            console_.Line(TraceTimeStamp() + " status " + text);
        });
        ProgramChannel().SetTraceHook([this](bool sent, const uint8_t* bytes, size_t n) {
            console_.Line(TraceLine(sent, bytes, n));
        });
    }
}

bool CliSession::Load(CUtilityDlg& dlg, const std::string& name) {
    size_t before = ui_.MessageCount();
    ui_.QueueOpenName(name);
    if (KindOf(name) == FileKind::Dcf) {
        dlg.OnFileLoad();
    } else {
        dlg.OnTextLoad();
    }
    return ui_.MessageCount() == before && dlg.ValueSource() == CUtilityDlg::kFileValues;
}

bool CliSession::Save(CUtilityDlg& dlg, const std::string& name) {
    size_t before = ui_.MessageCount();
    ui_.QueueSaveName(name);
    if (KindOf(name) == FileKind::Dcf) {
        dlg.OnFileSave();
    } else {
        dlg.OnTextSave();
    }
    return ui_.MessageCount() == before;
}

int CliSession::Outcome(CUtilityDlg& dlg, size_t messagesBefore) const {
    if (dlg.StatusField().Text() == CUtilityDlg::kOffline) return kExitLink;
    const std::vector<std::string>& shown = ui_.Messages();
    for (size_t i = messagesBefore; i < shown.size(); ++i) {
        for (int code = 1; code <= 11; ++code) {
            if (shown[i] == QorDoc::ResultText(code)) return kExitLink;
        }
    }
    return shown.size() > messagesBefore ? kExitRefused : kExitOk;
}

int CliSession::Defaults() {
    const std::string& out = options_.args[0];
    if (!Usable(out)) return kExitUsage;
    auto dlg = NewWindow();
    dlg->OnDefaults();
    return Save(*dlg, out) ? kExitOk : kExitRefused;
}

int CliSession::Convert() {
    const std::string& in = options_.args[0];
    const std::string& out = options_.args[1];
    if (!Usable(in) || !Usable(out)) return kExitUsage;
    auto dlg = NewWindow();
    if (!Load(*dlg, in)) return kExitRefused;
    return Save(*dlg, out) ? kExitOk : kExitRefused;
}

int CliSession::Check() {
    const std::string& in = options_.args[0];
    if (!Usable(in)) return kExitUsage;
    auto dlg = NewWindow();
    if (!Load(*dlg, in)) return kExitRefused;
    // What a save would refuse is an error of the file too.
    return dlg->ValidatePages() ? kExitOk : kExitRefused;
}

int CliSession::Upload() {
    const std::string& out = options_.args[0];
    if (!Usable(out)) return kExitUsage;
    auto dlg = NewWindow();
    size_t before = ui_.MessageCount();
    dlg->OnQor();
    if (int outcome = Outcome(*dlg, before); outcome != kExitOk) return outcome;
    return Save(*dlg, out) ? kExitOk : kExitRefused;
}

int CliSession::Download() {
    const std::string& in = options_.args[0];
    if (!Usable(in)) return kExitUsage;
    auto dlg = NewWindow();
    if (options_.all)
        dlg->UtilitySettingsPage().DownloadGroup().Select(CUtilitySettingsPage::kDownloadAll);
    if (!Load(*dlg, in)) return kExitRefused;
    size_t before = ui_.MessageCount();
    if (options_.rom) {
        dlg->OnRom();
    } else {
        dlg->OnRam();
    }
    return Outcome(*dlg, before);
}

int CliSession::PrintDifferences(const std::vector<ParamValue>& a,
                                 const std::vector<ParamValue>& b) {
    std::vector<ParamDifference> differences = CompareConfigurations(a, b);
    bool verify = options_.command == "verify";
    for (const ParamDifference& d : differences) {
        std::string line =
            options_.json
                ? JsonLine(DifferenceJson(d, verify ? "file" : "a", verify ? "module" : "b"))
                : DifferenceLine(d);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return differences.empty() ? kExitOk : kExitRefused;
}

int CliSession::Verify() {
    const std::string& in = options_.args[0];
    if (!Usable(in)) return kExitUsage;
    auto dlg = NewWindow();
    if (!Load(*dlg, in)) return kExitRefused;
    std::vector<ParamValue> file = ConfigurationOf(*dlg);
    size_t before = ui_.MessageCount();
    dlg->OnQor();
    if (int outcome = Outcome(*dlg, before); outcome != kExitOk) return outcome;
    // What the pages make of the module's values, as a save or a download would take them.
    dlg->StoreAllPages();
    return PrintDifferences(file, ConfigurationOf(*dlg));
}

int CliSession::Diff() {
    const std::string& a = options_.args[0];
    const std::string& b = options_.args[1];
    if (!Usable(a) || !Usable(b)) return kExitUsage;
    // Each file into a window of its own, so that what one file leaves out (an older version)
    // is the default and not the other file's value.
    auto first = NewWindow();
    if (!Load(*first, a)) return kExitRefused;
    auto second = NewWindow();
    if (!Load(*second, b)) return kExitRefused;
    return PrintDifferences(ConfigurationOf(*first), ConfigurationOf(*second));
}

int CliSession::Reset() {
    const std::string& kind = options_.args[0];
    int type = kind == "power" ? 0 : kind == "oob" ? 1 : 2;
    auto dlg = NewWindow();
    dlg->SelectPage(CUtilityDlg::kResetPage);
    if (dlg->Tabs().VisibleIndex() != CUtilityDlg::kResetPage) return kExitRefused;
    size_t before = ui_.MessageCount();
    CResetPage& page = dlg->ResetPage();
    page.ResetTypeGroup().Select(type);
    page.IssueResetButton().Click();
    return Outcome(*dlg, before);
}

int CliSession::Info() {
    auto dlg = NewWindow();
    // The Reset page's own upload: the identity block, the identification text and the
    // hardware address, nothing else.
    dlg->SelectPage(CUtilityDlg::kResetPage);
    if (dlg->Tabs().VisibleIndex() != CUtilityDlg::kResetPage) return kExitRefused;
    // The start stored the defaults, which queued every parameter; none of them is wanted.
    dlg->Doc().ClearQueue();
    size_t before = ui_.MessageCount();
    dlg->UploadFromDevice(false);
    if (int outcome = Outcome(*dlg, before); outcome != kExitOk) return outcome;
    QorDoc& doc = dlg->Doc();
    std::string identification = TrimRight(doc.GET(QorDoc::kIdDiagnostics));
    if (options_.json) {
        nlohmann::ordered_json info = {
            {"identification", JsonText(identification)},
            {"hardware_address", doc.GET(QorDoc::kIdHwAddress)},
            {"firmware", JsonText(CIpAddrPage::FirmwareText(identification))},
            {"web_parameters", doc.WebCapable()}};
        std::printf("%s\n", JsonLine(info).c_str());
        std::fflush(stdout);
        return kExitOk;
    }
    std::printf("Identification: %s\n", identification.c_str());
    std::printf("HardwareAddress: %s\n", doc.GET(QorDoc::kIdHwAddress).c_str());
    std::printf("Firmware: %s\n", CIpAddrPage::FirmwareText(identification).c_str());
    std::printf("WebParameters: %s\n", doc.WebCapable() ? "supported" : "not supported");
    std::fflush(stdout);
    return kExitOk;
}

int CliSession::Ports() {
    PortMap& map = ProgramPortMap();
    map.Refresh();
    for (const std::string& problem : map.TakeProblems())
        std::fprintf(stderr, "qorwctl: %s\n", problem.c_str());
    std::vector<SerialDevice> present =
        options_.json ? FindSerialDevices() : std::vector<SerialDevice>();
    for (int com = 1; com <= PortMap::kPortCount; ++com) {
        PortEntry entry = map.Entry(com);
        if (entry.source == PortSource::None) continue;
        std::string line = options_.json ? JsonLine(PortJson(entry, present)) : PortLine(entry);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return kExitOk;
}

int CliSession::Run() {
    const std::string& c = options_.command;
    if (c == "defaults") return Defaults();
    if (c == "convert") return Convert();
    if (c == "check") return Check();
    if (c == "upload") return Upload();
    if (c == "download") return Download();
    if (c == "verify") return Verify();
    if (c == "diff") return Diff();
    if (c == "reset") return Reset();
    if (c == "info") return Info();
    if (c == "ports") return Ports();
    if (c == "scan") return RunScan(options_);
    if (c == "provision") return RunProvision(options_);
    if (c == "ledger") return RunLedger(options_);
    return Usage("unknown command \"" + c + "\"");
}

}  // namespace

int Usage(const std::string& text) {
    std::fprintf(stderr, "qorwctl: %s\nTry 'qorwctl --help'.\n", text.c_str());
    return kExitUsage;
}

std::string ColumnsText(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> width;
    for (const auto& row : rows) {
        width.resize(std::max(width.size(), row.size()), 0);
        for (size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    }
    std::string text;
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) text += std::string(width[c] - row[c].size() + 2, ' ');
        }
        text += '\n';
    }
    return text;
}

int RunCli(const CliOptions& options) {
    CliSession session(options);
    return session.Run();
}
