#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QorDoc;
class SerialChannel;

// Is a module on a port, and who is it: the one question the scan, the window's Find Module and
// the provisioning workers ask. Reads only: the connect probe (whose data is the hardware
// address) and the identity block. A rate is ruled out by the link's acknowledgement wait alone.
struct ModuleProbe {
    enum class Outcome {
        Module,        // a module answered and was identified
        Nothing,       // no rate got an answer
        Unidentified,  // something answered at rate but could not be identified; error says how
        PortGone,      // the device went away (an adapter unplugged); error says so
        PortFailed,    // the port could not be opened; error says why
        Stopped,       // the channel was asked to stop
    };

    Outcome outcome = Outcome::Nothing;
    std::vector<uint32_t> ratesTried;  // in the order tried

    // Module (rate and baudIndex also for Unidentified).
    uint32_t rate = 0;
    int baudIndex = -1;           // 0..6, the row of the link timing profile
    std::string identification;   // the module's identification text, trailing blanks removed
    std::string firmware;         // what follows "FW=", e.g. "03.12"
    std::string series;           // "A", "B/C" or "D", as the firmware revision implies
    bool web = false;             // the module keeps the web parameters
    std::string hardwareAddress;  // 00:00:BC:1A:2B:3C

    std::string error;

    // "found", "no module", "failed", "gone", "open failed", "cancelled".
    static const char* OutcomeName(Outcome outcome);
};

// Asks the port the channel leads to (its device set), at each rate in baudIndexes in turn,
// through doc (attached to the channel); the channel is closed afterwards. rateStarted, when
// given, hears each rate before it is tried. The channel's stop request ends the probe at once.
ModuleProbe ProbeModule(SerialChannel& channel, QorDoc& doc, const std::vector<int>& baudIndexes,
                        const std::function<void(uint32_t rate)>& rateStarted = {});
