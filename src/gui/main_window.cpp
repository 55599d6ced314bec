#include "gui/main_window.h"

#include <QHBoxLayout>
#include <QTabWidget>

namespace {
const char* const kTabTexts[] = {"QOR IP Addr",      "Message Routing", "Email",
                                 "Reset",            "Utility Settings", "Web Config",
                                 "Web Data Desc"};
}

MainWindow::MainWindow(QWidget* parent) : QDialog(parent), tabs_(new QTabWidget(this)) {
    setWindowTitle("QOR / QORW Utility");
    for (const char* text : kTabTexts) tabs_->addTab(new QWidget(tabs_), text);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tabs_);
    resize(720, 300);
}
