#pragma once

#include <QList>
#include <QString>
#include <string>

#include "controls/control.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// The program's texts are 8-bit; they become Qt text here and nowhere else.
QString FromLatin1(const std::string& text);
std::string ToLatin1(const QString& text);

// Binds a control model to its widget both ways: every model change is copied into the widget
// (with the widget's signals blocked, so it does not echo back), and the user's actions on the
// widget become the model's calls. The model must outlive the widget; the widget may go first.
// Each binding also shows the model's current state at once and carries out its focus requests.
void Bind(CButton& model, QPushButton* widget);
void Bind(CCheckBox& model, QCheckBox* widget);
void Bind(CComboBox& model, QComboBox* widget);
// One radio button per item of the group, in item order.
void Bind(CRadioGroup& model, const QList<QRadioButton*>& widgets);
void Bind(CEdit& model, QLineEdit* widget);

// Copies the enabled and visible flags of a model to any widget.
void ApplyCommonState(const CControl& model, QWidget* widget);

// Gives every labelled control under root its label's text (without '&') as accessible name,
// where it has none: a combo box would otherwise be announced by its current item only.
void NameAfterLabels(QWidget* root);
