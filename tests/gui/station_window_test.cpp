// The provisioning station as a technician meets it: arm, plug, done, swap, a failure and its
// retry, a pulled adapter, Stop All and closing while armed, on simulated modules.
#include "gui/station_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <functional>
#include <thread>

#include "files/temp_dir.h"
#include "fleet/fleet_sims.h"
#include "fleet/ledger.h"
#include "gui/slot_tile.h"

namespace {

using State = SlotTile::State;

// Runs the window's event loop until cond holds; false after the deadline.
bool WaitFor(const std::function<bool()>& cond, int ms = 15000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QTest::qWait(10);
    }
    return true;
}

class StationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldXdg_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Path()));
        FleetSim source(0xEE);
        ASSERT_TRUE(source.started);
        DeviceWindow w(source.Path());
        ASSERT_TRUE(w.Upload());
        templatePath = dir.File("site.txt");
        ASSERT_TRUE(w.dlg.SaveTextFile(templatePath));
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", oldXdg_); }

    // The window on these portList (checked) and rows, checked and shown.
    std::unique_ptr<StationWindow> Open(const std::vector<FleetSim*>& sims, int rows) {
        std::string csv = "IPAddress\n";
        for (int r = 1; r <= rows; ++r)
            csv += "10.1.2." + std::to_string(10 + r) + "\n";
        StationWindow::Setup s;
        s.templatePath = QString::fromStdString(templatePath);
        s.unitsPath = QString::fromStdString(dir.Write("units.csv", csv));
        for (FleetSim* sim : sims)
            s.ports << QString::fromStdString(sim->Path());
        s.pauseScale = 0;
        s.probeIntervalMs = 20;
        auto w = std::make_unique<StationWindow>(s);
        w->show();
        return w;
    }
    static QPushButton* Button(QWidget& w, const QString& text) {
        for (QPushButton* b : w.findChildren<QPushButton*>()) {
            if (b->text().remove('&') == text) return b;
        }
        return nullptr;
    }
    static SlotTile* TileOf(StationWindow& w, FleetSim& sim) {
        return w.Tile(QString::fromStdString(sim.Path()));
    }
    std::vector<Ledger::Entry> LedgerEntries() {
        std::string error;
        auto ledger = Ledger::Open(dir.File("provision.db"), true, error);
        return ledger ? ledger->Report(error) : std::vector<Ledger::Entry>{};
    }

    TempDir dir;
    std::string templatePath;
    QByteArray oldXdg_;
};

TEST_F(StationWindowTest, ArmedSlotTakesModuleAfterModuleAndAnUncheckedPortIsNeverWritten) {
    FleetSim a(1), unchecked(2);
    auto w = Open({&a, &unchecked}, 2);
    auto* portList = w->findChild<QListWidget*>();
    ASSERT_EQ(portList->count(), 2);
    for (int i = 0; i < portList->count(); ++i) {
        QListWidgetItem* item = portList->item(i);
        if (item->data(Qt::UserRole).toString().toStdString() == unchecked.Path())
            item->setCheckState(Qt::Unchecked);
    }
    QPushButton* start = Button(*w, "Start");
    ASSERT_TRUE(start && start->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(w->IsArmed());
    EXPECT_FALSE(portList->isEnabled());  // the setup is fixed while armed
    EXPECT_EQ(TileOf(*w, unchecked), nullptr);

    SlotTile* tile = TileOf(*w, a);
    ASSERT_TRUE(WaitFor([&] { return tile->CurrentState() == State::Remove; }));
    EXPECT_EQ(tile->Row(), 1);
    EXPECT_EQ(tile->accessibleName(),
              "Slot 1: " + QString::fromStdString(a.Path()).section('/', -1) + ": remove module");
    // The next module on the slot gets the next row; with every row done the station disarms.
    a.number = 3;
    ASSERT_TRUE(WaitFor([&] { return !w->IsArmed(); }));
    EXPECT_EQ(tile->Row(), 2);
    EXPECT_EQ(tile->CurrentState(), State::Done);
    EXPECT_EQ(unchecked.writes, 0);
    QTableWidget* ledger = nullptr;
    for (auto* t : w->findChildren<QTableWidget*>()) {
        if (t->accessibleName() == "Ledger") ledger = t;
    }
    ASSERT_TRUE(ledger);
    ASSERT_EQ(ledger->rowCount(), 2);
    EXPECT_EQ(ledger->item(1, 3)->text(), "done");
    std::vector<Ledger::Entry> entries = LedgerEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].hw, a.Hw());
    QString error;
    ASSERT_TRUE(w->ExportLedger(QString::fromStdString(dir.File("out.csv")), false, error));
    std::string csv = ReadFileBytes(dir.File("out.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
}

}  // namespace
