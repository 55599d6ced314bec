// qorsim: a simulated module on a pseudo-terminal. Prints the slave path, then serves until
// SIGINT or SIGTERM.
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/serial_port.h"
#include "qorsim/sim_module.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: qorsim [--firmware REV] [--no-web] [--rate RATE] [--pace RATE]\n"
                 "              [--nak-first N] [--drop-ack N] [--corrupt-first N] [--silent]\n"
                 "              [--log FILE] [--restart-ms MS] [--hw 00:00:BC:1A:2B:3C]\n");
}

bool Number(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    bool paceGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) return nullptr;
            return argv[++i];
        };
        long n = 0;
        if (arg == "--no-web") {
            options.web = false;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--firmware" || arg == "--log") {
            const char* v = value();
            if (!v) return Usage(), 2;
            (arg == "--firmware" ? options.firmware : options.logPath) = v;
        } else if (arg == "--hw") {
            // Modules on one desk differ by their hardware address.
            const char* v = value();
            std::string hex;
            for (const char* c = v; c && *c; ++c) {
                if (std::isxdigit(static_cast<unsigned char>(*c))) {
                    hex.push_back(*c);
                } else if (*c != ':' && *c != '-') {
                    return Usage(), 2;
                }
            }
            if (hex.size() != 12) return Usage(), 2;
            for (size_t b = 0; b < 6; ++b)
                options.hardwareAddress[b] =
                    static_cast<uint8_t>(std::stoul(hex.substr(2 * b, 2), nullptr, 16));
        } else if (arg == "--rate") {
            const char* v = value();
            if (!v || !Number(v, n) || SerialPort::RateConstant(static_cast<uint32_t>(n)) == 0)
                return Usage(), 2;
            options.rate = static_cast<uint32_t>(n);
        } else if (arg == "--pace" || arg == "--nak-first" || arg == "--drop-ack" ||
                   arg == "--corrupt-first" || arg == "--restart-ms") {
            const char* v = value();
            if (!v || !Number(v, n)) return Usage(), 2;
            if (arg == "--pace") options.pace = static_cast<uint32_t>(n), paceGiven = true;
            if (arg == "--nak-first") options.nakFirst = static_cast<int>(n);
            if (arg == "--drop-ack") options.dropAck = static_cast<int>(n);
            if (arg == "--corrupt-first") options.corruptFirst = static_cast<int>(n);
            if (arg == "--restart-ms") options.restartSilenceMs = static_cast<int>(n);
        } else {
            Usage();
            return 2;
        }
    }

    // A module fixed at a rate also sends at that rate, unless told otherwise.
    if (options.rate && !paceGiven) options.pace = options.rate;

    // Block the signals before any thread starts, so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SimModule sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "qorsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&signals, &sig);
    sim.Stop();
    return 0;
}
