#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

// A simulated module on a pseudo-terminal behind COM<port>, and a channel with short waits.
struct SimLink {
    explicit SimLink(SimOptions options = {}, int port = 7) : sim(options), port(port) {
        std::string error;
        EXPECT_TRUE(sim.Start(&error)) << error;
        setenv(("QORW_COM" + std::to_string(port)).c_str(), sim.SlavePath().c_str(), 1);
        channel.SetPort(static_cast<int16_t>(port));
        channel.SetBaudRate(57600);
        channel.SetAckWait(40);
        channel.SetReplyWait(1);
    }
    ~SimLink() {
        channel.Close();
        sim.Stop();
    }

    SimModule sim;
    SerialChannel channel;
    int port;
};

// Waits up to a second for a condition that another thread makes true.
inline bool Eventually(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
