#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fleet/ledger.h"
#include "fleet/provisioner.h"
#include "fleet/unit_plan.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;
class SlotTile;

// The provisioning station: a template, a units table and a ledger are checked, the slots
// (serial ports) are chosen, and Start arms the station. From then on each slot provisions the
// module that answers on it, waits for it to be taken away, and takes the next, as qorwctl
// provision --watch does, on the same engine. The engine's events arrive on its threads and are
// shown from the window's thread, at most ten times a second.
class StationWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "QOR Provisioning Station";
    static constexpr const char* kCloseWhileArmed =
        "The station is armed. Stop every unit in flight and close?";
    static constexpr const char* kNoSlot = "Check at least one port to use as a slot.";
    static constexpr const char* kNoFingerprint = "(not worked out)";
    static constexpr int kRepaintMs = 100;

    struct Setup {
        // The ledger: a file, or a postgresql:// URI (a batch on a server).
        QString templatePath, unitsPath, ledgerPath;
        QStringList ports;  // named on the command line: slots, checked
        double pauseScale = 1.0;
        int probeIntervalMs = 500;
        // Where the checked slots are kept; empty: beside the pins.
        QString slotsPath;
    };

    explicit StationWindow(Setup setup, QWidget* parent = nullptr);
    ~StationWindow() override;

    // Check: the inputs, every problem in the problems table; true when clean.
    bool Check();
    // Start: arms the station on the checked slots; false (and why in the status) when not.
    bool Arm();
    // Stop All: every unit in flight ends after its current request, recorded as interrupted.
    void StopAll();
    bool IsArmed() const { return armed_; }
    // The ledger's report as qorwctl ledger --csv / --json writes it.
    bool ExportLedger(const QString& path, bool json, QString& error);

    SlotTile* Tile(const QString& port) const;
    // The link trace of the last attempt of a row, in a window of its own; null when the ledger
    // keeps none (the status says why).
    QWidget* ShowTrace(int row);
    // Closing while armed asks this first (a question box unless replaced, for tests).
    std::function<bool()> confirmClose;

signals:
    void disarmed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Relay;

    void BuildSetup(QGroupBox* box);
    void BuildRun(QGroupBox* box);
    void BuildLedger(QGroupBox* box);
    void FillPorts();
    void SaveSlots();
    QStringList CheckedPorts() const;
    void UpdateControls();
    void AddProblem(const QString& row, const QString& column, const QString& value,
                    const QString& reason);
    void AddProblemText(const std::string& text);
    void Drain();
    void RunEnded();
    void Disarm();
    void UpdateCounters();
    // The ledger the fields name (the batch the units make, on a server), with the station's
    // name; null with the reason, the place shown without a password.
    std::unique_ptr<Ledger> OpenLedger(bool readOnly, std::string& error) const;
    void RefreshLedger();
    void ShowLedger(Ledger* ledger);
    void FollowUnits(const QString& unitsPath);
    void Browse(QLineEdit* edit, const QString& filter, bool save);
    void StopRun();

    Setup setup_;
    QLineEdit* template_;
    QLineEdit* units_;
    QLineEdit* ledgerEdit_;
    QLineEdit* station_;
    std::vector<QPushButton*> browse_;
    QLabel* fingerprint_;
    QPushButton* check_;
    QPushButton* start_;
    QPushButton* stopAll_;
    QTableWidget* problems_;
    QListWidget* ports_;
    QRadioButton* rom_;
    QRadioButton* ram_;
    QComboBox* rate_;
    QLabel* status_;
    QLabel* counters_;
    QGridLayout* tilesLayout_;
    QWidget* tilesArea_;
    std::map<QString, SlotTile*> tiles_;
    QGroupBox* ledgerBox_;
    QComboBox* stateFilter_;
    QTableWidget* ledgerTable_;
    QTimer* repaint_;

    bool checkedClean_ = false;
    bool armed_ = false;
    UnitPlan plan_;
    std::unique_ptr<Ledger> ledger_;
    std::unique_ptr<Relay> relay_;
    std::unique_ptr<Provisioner> provisioner_;
    std::atomic<bool> stop_{false};
    std::thread run_;
    int done_ = 0, failed_ = 0;
    int remaining_ = 0;  // rows not done, as the ledger last said
    qint64 armedAtMs_ = 0;
    bool ledgerChanged_ = false;
};
