// Save and load of a full configuration through the main window's file procedures: the text
// file and the .dcf file, each direction timed separately. Prints the median and the 90th
// percentile of each, and the file sizes.
//
//   file_io [rounds] [dir]    (default 200 rounds; with dir, the saved files are copied there)
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/silent_ui_host.h"
#include "app/utility_dlg.h"

namespace {

// Every field of every page set, texts at or near their longest.
std::string FullConfigurationText() {
    std::string s = "[QorConfiguration]\r\nVersion: 4";
    auto line = [&s](const char* fmt, auto... args) {
        char buf[256];
        std::snprintf(buf, sizeof buf, fmt, args...);
        s += buf;
    };
    s += "\r\n\r\n[COMMS]\r\nBaud: 57600\r\nEthernet Speed/Duplex: 100 Mbps full-duplex\r\n"
         "EnableRouting: YES\r\n";
    s += "\r\n[TCPIP]\r\nSeries: D\r\nIpConfig: Bootp Fallback\r\nIPAddress: 192.168.001.010\r\n"
         "SubnetMask: 255.255.255.000\r\nGateway: 192.168.001.001\r\n"
         "SecurityMask1: 255.255.000.000\r\nSecurityMask2: 255.000.000.000\r\n";
    s += "\r\n[Routing]\r\n";
    for (int d = 0; d < 50; ++d)
        line("Route%02d: 010.%03d.%03d.%03d\r\n", d, d, 100 + d, 1 + d);
    s += "\r\n[EMail]\r\nServer: 010.000.000.025\r\nFrom: qor-module-0042@plant.example.com\r\n"
         "Username: technician\r\nPassword: s3cr3t-pw\r\nSMTP Authentication: YES\r\n";
    for (int r = 1; r <= 50; ++r)
        line("Address%02d: operator.%02d@maintenance.plant.example.com\r\n", r + 49, r);
    s += "\r\n[Device]\r\nEthernetAddress: 00-20-4A-12-34-56\r\n\r\n[Diagnostics]\r\n";
    s += "\r\n[UtilitySettings]\r\nCfgSecMask: 255.255.255.000\r\n";
    s += "\r\n[WebConfig]\r\n";
    for (int row = 1; row <= 29; ++row) {
        if (row >= 23 && row % 2 == 1)
            line("WebConfig%02d: pw%06d\r\n", row, row);
        else if (row >= 3 && row <= 21 && row % 2 == 1)
            line("WebConfig%02d: http://plant.example.com/qorw/link%02d.htm\r\n", row, row);
        else
            line("WebConfig%02d: Production line %02d status and alarms page\r\n", row, row);
    }
    s += "\r\n[WebDataDesc]\r\n";
    for (int row = 1; row <= 40; ++row)
        line("WebDataDesc%02d: Conveyor %02d motor temperature in degrees C\r\n", row, row);
    return s;
}

long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

struct Figures {
    double median, p90;
};

Figures Measure(int rounds, const std::function<bool()>& op, int& failures) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> us;
    us.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        if (!op())
            ++failures;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 9 / 10)]};
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    // The window reads and writes QORWUTIL.CFG in the current directory: work in a fresh one.
    char dir[] = "/tmp/qor_file_io_XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) {
        std::perror("file_io");
        return 1;
    }
    const std::string source = std::string(dir) + "/full.txt";
    const std::string text = std::string(dir) + "/saved.txt";
    const std::string dcf = std::string(dir) + "/saved.dcf";
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::string s = FullConfigurationText();
        std::fwrite(s.data(), 1, s.size(), f);
        std::fclose(f);
    }

    SilentUiHost ui;  // a full configuration shows no message box
    CUtilityDlg dlg(ui);
    dlg.Start();
    std::string error;
    bool full = dlg.LoadTextFile(source, error) == CUtilityDlg::TextLoadResult::Loaded &&
                ui.messages == 0;
    if (!full) {
        std::printf("note: the full configuration did not load cleanly (%s); timing what the "
                    "pages hold\n",
                    !error.empty() ? error.c_str() : ui.firstMessage.c_str());
    }
    dlg.StoreAllPages();
    ui.messages = 0;

    int failures = 0;
    Figures textSave = Measure(rounds, [&] { return dlg.SaveTextFile(text); }, failures);
    Figures textLoad = Measure(rounds, [&] {
        std::string e;
        return dlg.LoadTextFile(text, e) == CUtilityDlg::TextLoadResult::Loaded;
    }, failures);
    Figures dcfSave = Measure(rounds, [&] { return dlg.SaveDcfFile(dcf); }, failures);
    Figures dcfLoad = Measure(rounds, [&] { return dlg.LoadDcfFile(dcf); }, failures);

    std::printf("file_io: %d rounds each, %s configuration\n", rounds, full ? "full" : "partial");
    std::printf("  text save: median %8.1f us, p90 %8.1f us  (%ld bytes)\n", textSave.median,
                textSave.p90, FileSize(text));
    std::printf("  text load: median %8.1f us, p90 %8.1f us\n", textLoad.median, textLoad.p90);
    std::printf("  .dcf save: median %8.1f us, p90 %8.1f us  (%ld bytes)\n", dcfSave.median,
                dcfSave.p90, FileSize(dcf));
    std::printf("  .dcf load: median %8.1f us, p90 %8.1f us\n", dcfLoad.median, dcfLoad.p90);
    std::printf("  failures: %d, message boxes: %d\n", failures, ui.messages);

    if (argc > 2) {
        for (const std::string& p : {text, dcf}) {
            std::string to = std::string(argv[2]) + p.substr(p.rfind('/'));
            std::ifstream in(p, std::ios::binary);
            std::ofstream out(to, std::ios::binary);
            if (!(out << in.rdbuf()))
                std::fprintf(stderr, "file_io: could not keep %s\n", p.c_str());
        }
    }
    for (const std::string& p : {source, text, dcf, std::string(dir) + "/QORWUTIL.CFG"})
        unlink(p.c_str());
    rmdir(dir);
    return failures == 0 ? 0 : 1;
}
