// Round trip of a read over an unpaced pseudo-terminal, and the reader thread's CPU time while
// the open channel sits idle.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 5;
    SimModule sim;
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "link_roundtrip: %s\n", error.c_str());
        return 1;
    }
    setenv("QORW_COM1", sim.SlavePath().c_str(), 1);
    SerialChannel channel;
    LinkProfile profile = LinkProfileFor(0);
    channel.SetPort(1);
    channel.SetBaudRate(profile.baud);
    channel.SetReplyWait(profile.replyWait);
    channel.SetAckWait(profile.ackWait);
    if (!channel.Open()) {
        std::fprintf(stderr, "link_roundtrip: %s\n", channel.OpenError().c_str());
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    std::vector<double> micros;
    micros.reserve(rounds);
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        // A read of the two-byte baud parameter.
        std::string reply = channel.SendAndReceive("FD000100TTTT000002");
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (reply.compare(0, 4, "4100") != 0) ++failures;
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, size_t(q * micros.size()))];
    };
    std::printf(
        "read round trip over %d requests: median %.1f us, p99 %.1f us, max %.1f us, %d failed\n",
        rounds, at(0.5), at(0.99), micros.back(), failures);

    auto before = channel.ReaderCpuTime();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    auto used = channel.ReaderCpuTime() - before;
    std::printf("reader thread CPU time over %d idle seconds: %.3f ms\n", idleSeconds,
                std::chrono::duration<double, std::milli>(used).count());
    channel.Close();
    sim.Stop();
    return failures == 0 ? 0 : 1;
}
