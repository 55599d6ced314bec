// What finding the serial ports costs: one enumeration through libudev and one refresh of the
// COM number mapping, as the Utility Settings page runs it at start, at every open of a COM
// number, and once a second where no udev runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/port_map.h"
#include "link/serial_devices.h"

namespace {

template <typename F>
double MedianMs(int rounds, F f) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    size_t found = FindSerialDevices().size();
    double find = MedianMs(rounds, [] { FindSerialDevices(); });
    PortMap map;
    double refresh = MedianMs(rounds, [&] { map.Refresh(); });
    std::printf("serial devices found: %zu\n", found);
    std::printf("FindSerialDevices: %.2f ms median of %d\n", find, rounds);
    std::printf("PortMap::Refresh:  %.2f ms median of %d\n", refresh, rounds);
    std::printf("polling once a second costs %.1f%% of one core\n", refresh / 10.0);
    return 0;
}
