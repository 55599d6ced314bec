#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/module_probe.h"

// Finding a module: which serial port leads to one and at which rate it listens. Every port is
// scanned on a thread of its own with a channel and a document of its own, reading only: the
// rates of the link timing profile, the saved one first, then from the fastest down. A rate is
// ruled out by the link's acknowledgement wait alone; at the first rate that answers, the module
// is identified and the scan of that port ends.

// A port to scan and what a person knows its adapter by.
struct ScanPort {
    std::string device;
    std::string label;
};

// A port's scan: what the probe found there, and which port it was.
struct ScanResult : ModuleProbe {
    std::string device;
    std::string label;
};

// Told what each port's scan does, on that port's own thread: calls for different ports may
// come at the same time.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void RateStarted(size_t port, uint32_t rate) {
        (void)port;
        (void)rate;
    }
    virtual void PortFinished(size_t port, const ScanResult& result) = 0;
};

class ModuleScan {
public:
    // firstBaudIndex: the rate tried first (the saved one), 0..6.
    ModuleScan(std::vector<ScanPort> ports, int firstBaudIndex, ScanObserver* observer = nullptr);
    // Cancels and waits.
    ~ModuleScan();
    ModuleScan(const ModuleScan&) = delete;
    ModuleScan& operator=(const ModuleScan&) = delete;

    // Starts one thread per port; returns at once.
    void Start();
    // From any thread: every port stops at once and closes what it opened; ports not finished
    // yet report Cancelled.
    void Cancel();
    // Waits until every port has finished.
    void Wait();
    bool Cancelled() const { return cancelled_; }

    const std::vector<ScanPort>& Ports() const { return ports_; }
    // Valid after Wait: one result per port, in the order of the ports.
    const std::vector<ScanResult>& Results() const { return results_; }

    // The order the rates are tried in: first, then 0..6 without it.
    static std::vector<int> RateOrder(int firstBaudIndex);

private:
    struct Worker;

    void Run(size_t index);

    std::vector<ScanPort> ports_;
    int firstBaudIndex_;
    ScanObserver* observer_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<ScanResult> results_;
    std::vector<std::thread> threads_;
    std::atomic<bool> cancelled_{false};
};

// Scans the ports and waits for the results.
std::vector<ScanResult> ScanModules(std::vector<ScanPort> ports, int firstBaudIndex,
                                    ScanObserver* observer = nullptr);

// Every serial port present now, then each device a QORW_COM<n> variable names that is not among
// them (labelled "QORW_COM<n>"), such as a pseudo-terminal.
std::vector<ScanPort> PresentScanPorts();
// A port named by the user: a device path, or COM1..COM32 through DeviceForPort; labelled with
// its adapter's name when it is a present port.
ScanPort ScanPortFor(const std::string& deviceOrCom);
// The COM number 1..32 whose device is this one (the same file, however named); 0 for none.
int ComPortForDevice(const std::string& device);
