#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>

#include "app/utility_dlg.h"
#include "gui/main_window.h"
#include "gui/qt_ui_host.h"
#include "gui/station_window.h"
#include "model/random_seed.h"

namespace {

void ShowCentred(QWidget& window) {
    // A window that chose its own size keeps it, as far as the screen allows.
    if (!window.testAttribute(Qt::WA_Resized)) window.adjustSize();
    if (QScreen* screen = window.screen()) {
        QRect area = screen->availableGeometry();
        window.resize(window.size().boundedTo(area.size()));
        window.move(area.center() - window.rect().center());
    }
    window.show();
}

}  // namespace

int main(int argc, char** argv) {
    SeedRandomFromTicks();
    QApplication app(argc, argv);
    QApplication::setApplicationName("qorwutil");
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName("org.qor.qorwutil");

    QCommandLineParser parser;
    parser.setApplicationDescription("The configuration utility for QOR / QORW modules.");
    parser.addHelpOption();
    QCommandLineOption station("station", "Opens the provisioning station instead.");
    QCommandLineOption templ("template", "The station's template (.txt or .dcf).", "FILE");
    QCommandLineOption units("units", "The station's units table.", "FILE.csv");
    QCommandLineOption ledger(
        "ledger",
        "The station's ledger: a file (default: provision.db beside the units) or a line's "
        "server as postgresql://[user@]host[:port]/database.",
        "LEDGER");
    QCommandLineOption port("port", "A slot of the station, checked (again for each).", "P");
    parser.addOptions({station, templ, units, ledger, port});
    parser.process(app);

    if (parser.isSet(station)) {
        QGuiApplication::setDesktopFileName("org.qor.qorwutil.station");
        StationWindow::Setup setup;
        setup.templatePath = parser.value(templ);
        setup.unitsPath = parser.value(units);
        setup.ledgerPath = parser.value(ledger);
        setup.ports = parser.values(port);
        StationWindow window(setup);
        ShowCentred(window);
        return app.exec();
    }

    QtUiHost host;
    CUtilityDlg dlg(host);
    MainWindow window(dlg);
    host.SetParentWindow(&window);
    dlg.Start();
    ShowCentred(window);
    return app.exec();
}
