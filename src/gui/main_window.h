#pragma once

#include <QDialog>

class QTabWidget;

// The utility's single window.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    QTabWidget* Tabs() const { return tabs_; }

private:
    QTabWidget* tabs_;
};
