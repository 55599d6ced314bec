#include <QApplication>
#include <QScreen>

#include "app/utility_dlg.h"
#include "gui/main_window.h"
#include "gui/qt_ui_host.h"
#include "model/random_seed.h"

int main(int argc, char** argv) {
    SeedRandomFromTicks();
    QApplication app(argc, argv);
    QApplication::setApplicationName("qorwutil");
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName("org.qor.qorwutil");

    QtUiHost host;
    CUtilityDlg dlg(host);
    MainWindow window(dlg);
    host.SetParentWindow(&window);
    dlg.Start();

    window.adjustSize();
    if (QScreen* screen = window.screen()) {
        QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    return app.exec();
}
