#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/control.h"
#include "controls/ip_addr_edit.h"
#include "pages/config_page.h"

class CPageHost;

// The "Utility Settings" tab: COM port, PC baud rate, transfer behaviour, security mask. The
// port and the baud rate persist in the settings file; the main window's link settings follow
// every selection. Each COM entry names the device behind it (link/port_map.h), and choosing
// one pins that COM number to its adapter.
class CUtilitySettingsPage : public CConfigPage {
public:
    static constexpr int kPortCount = 32;
    static constexpr const char* kBaudTexts[7] = {"57600", "38400", "19200", "9600",
                                                  "4800",  "2400",  "1200"};
    static constexpr const char* kUploadTexts[2] = {"All ", "Active Tab"};
    static constexpr const char* kDownloadTexts[3] = {"All", "Active Tab", "Modified"};
    enum { kUploadAll = 0, kUploadActiveTab = 1 };
    enum { kDownloadAll = 0, kDownloadActiveTab = 1, kDownloadModified = 2 };

    explicit CUtilitySettingsPage(CPageHost& host);

    // --- CConfigPage
    void ExchangeDcf(CDcfArchive& archive) override;
    void LoadDefaults() override;
    void SeriesChanged(int series) override;
    void LoadFromDocument(QorDoc& doc) override;
    void QueueParameters(QorDoc& doc) override;
    void StoreToDocument(QorDoc& doc, bool force) override;
    void WriteSection(CTextOutFile& file, QorDoc& doc) override;
    void ReadSection(CConfigTextReader& reader) override;
    void LinkDown() override;
    void RestoreLinkBaud() override;
    bool DiffersFromDocument(QorDoc& doc) override;
    bool TakeControlValues() override;

    // --- the controls
    CComboBox& ComPortList() { return comPort_; }
    CComboBox& BaudList() { return baud_; }
    CRadioGroup& UploadGroup() { return upload_; }
    CRadioGroup& DownloadGroup() { return download_; }
    CIPAddrEdit& SecurityMaskEdit() { return mask_; }

    // --- the members
    int32_t ComIndex() const { return comIndex_; }
    int32_t BaudIndex() const { return baudIndex_; }
    int32_t UploadChoice() const { return uploadChoice_; }
    int32_t DownloadChoice() const { return downloadChoice_; }
    const std::array<uint8_t, 4>& SecurityMask() const { return maskOctets_; }

    // Rewrites the settings file from the members.
    void WriteSettingsFile() const;
    // Names again what is behind each COM number (ports come and go) without touching the
    // selection; true when any entry changed.
    bool RefreshPorts();
    // Lets go of the module as a lost link does: the port closed, the window offline.
    void GoOffline();

private:
    bool ReadSettingsFile();
    // Tells what the pins file holds that cannot be used, each thing once.
    void ReportPortProblems();
    void ShowMembers();
    void ClearMask();
    void OnComPort();
    void OnBaud();
    void OnUpload();
    void OnDownload();

    CPageHost& host_;
    CComboBox comPort_;
    CComboBox baud_;
    CRadioGroup upload_{{kUploadTexts[0], kUploadTexts[1]}};
    CRadioGroup download_{{kDownloadTexts[0], kDownloadTexts[1], kDownloadTexts[2]}};
    CIPAddrEdit mask_;

    int32_t comIndex_ = 0;
    int32_t baudIndex_ = 1;
    int32_t uploadChoice_ = kUploadActiveTab;
    int32_t downloadChoice_ = kDownloadModified;
    std::array<uint8_t, 4> maskOctets_{};
};
