#pragma once

#include <QDialog>

// "About QOR / QORW Utility": the icon, the version, the release date and OK.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};
