#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "app/module_scan.h"

class CUtilitySettingsPage;
class QLabel;
class QPushButton;
class QTreeWidget;

// "Find Module": scans the ports side by side and shows each port's progress and result as it
// comes. One module found is taken at once; of several the user picks one; Cancel stops the
// scan at once and closes every port it opened.
class FindModuleDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Find Module";
    static constexpr const char* kNoModule = "No module found. Check the cable and the power.";
    static constexpr const char* kNoPortOpened = "No port could be opened.";
    static constexpr const char* kNoPorts = "There is no serial port to look on.";
    static constexpr const char* kPickOne =
        "Modules found on several ports: pick one and press Use.";
    static constexpr const char* kUsed = "COM Port is now COM%1 and Baud Rate %2.";
    static constexpr const char* kNoComPort = "The module is on %1, which no COM port opens.";
    static constexpr const char* kPinned = "COM Port is now COM%1, pinned to %2, and Baud Rate %3.";

    // Takes a found module over (the page's port and rate): false when it cannot; told is
    // what the user is told either way.
    using Use = std::function<bool(const ScanResult&, QString& told)>;

    FindModuleDialog(std::vector<ScanPort> ports, int firstBaudIndex, Use use,
                     QWidget* parent = nullptr);
    ~FindModuleDialog() override;

    bool IsScanning() const { return scanning_; }

public slots:
    void reject() override;

signals:
    void scanFinished();

private:
    class Relay;

    void RateStarted(size_t port, uint32_t rate);
    void PortFinished(size_t port, const ScanResult& result);
    void Finish();
    void FitWidth();
    void UseSelected();
    void ShowChoice();

    std::vector<ScanResult> results_;
    std::vector<bool> done_;
    Use use_;
    bool scanning_ = false;
    QTreeWidget* list_;
    QLabel* status_;
    QPushButton* useButton_;
    QPushButton* closeButton_;
    std::unique_ptr<Relay> relay_;
    std::unique_ptr<ModuleScan> scan_;
};

// Takes a module over on the Utility Settings page, as the user's own selections of "COM Port"
// and "Baud Rate" would: offline, settings file written. A module on a port without a COM
// number (more ports than numbers) has its adapter pinned to a free one first.
FindModuleDialog::Use UseOnPage(CUtilitySettingsPage& page);

// What the result column says of a port.
QString ScanResultText(const ScanResult& result);
