#pragma once

#include <cstdint>

class UiHost;

// The link settings the main window keeps and the Utility settings page edits.
struct LinkSettings {
    uint16_t comPort = 1;       // 1..32
    uint16_t pcBaudIndex = 1;   // 0..6 = 57600 .. 1200
    uint8_t uploadActiveTab = 1;
    uint8_t downloadAll = 0;
};

// What a page may ask of the main window.
class CPageHost {
public:
    virtual ~CPageHost() = default;

    virtual UiHost& Ui() = 0;
    virtual LinkSettings& Link() = 0;
    virtual int32_t& DcfVersion() = 0;   // of the last .dcf loaded
    virtual int32_t& TextVersion() = 0;  // of the text file being (or last) loaded

    virtual void RefreshStatus() = 0;
    virtual void RequestReset(int kind) = 0;  // 1..3, from the Reset page
    virtual void SeriesSelected(int series) = 0;
    virtual void StoreAllPages() = 0;
    virtual void GoOffline(bool notify) = 0;
};
