#include <QApplication>

#include "gui/main_window.h"
#include "model/random_seed.h"

int main(int argc, char** argv) {
    SeedRandomFromTicks();
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
