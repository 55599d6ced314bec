#include "gui/control_binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLatin1(const QString& text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

namespace {

// Shows or hides as the model says, but shows only what was hidden before: a widget not yet
// placed in its parent must not pop up as a window of its own.
void ApplyVisible(bool visible, QWidget* widget) {
    if (!visible) {
        widget->setHidden(true);
    } else if (widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        widget->setHidden(false);
    }
}

}  // namespace

void ApplyCommonState(const CControl& model, QWidget* widget) {
    widget->setEnabled(model.IsEnabled());
    ApplyVisible(model.IsVisible(), widget);
}

namespace {

// Installs the model's listeners for a widget that may be destroyed before the model: once it
// is gone the listeners do nothing.
template <typename W, typename Update>
void Listen(CControl& model, W* widget, Update update) {
    QPointer<W> guard(widget);
    model.SetViewListener([guard, update] {
        if (!guard)
            return;
        QSignalBlocker block(guard.data());
        update(guard.data());
    });
    model.SetFocusListener([guard] {
        if (guard)
            guard->setFocus(Qt::OtherFocusReason);
    });
    QSignalBlocker block(widget);
    update(widget);
}

}  // namespace

void Bind(CButton& model, QPushButton* widget) {
    Listen(model, widget, [&model](QPushButton* w) {
        w->setText(FromLatin1(model.Text()));
        ApplyCommonState(model, w);
    });
    QObject::connect(widget, &QPushButton::clicked, widget, [&model] { model.Click(); });
}

void Bind(CCheckBox& model, QCheckBox* widget) {
    auto update = [&model](QCheckBox* w) {
        w->setText(FromLatin1(model.Text()));
        w->setChecked(model.IsChecked());
        ApplyCommonState(model, w);
    };
    Listen(model, widget, update);
    QObject::connect(widget, &QCheckBox::clicked, widget, [&model, widget, update] {
        model.Click();
        // The model may have refused or changed its mind; the widget shows what it holds.
        QSignalBlocker block(widget);
        update(widget);
    });
}

void Bind(CComboBox& model, QComboBox* widget) {
    auto update = [&model](QComboBox* w) {
        bool same = w->count() == model.Count();
        for (int i = 0; same && i < model.Count(); ++i)
            same = w->itemText(i) == FromLatin1(model.ItemText(i));
        if (!same) {
            w->clear();
            for (int i = 0; i < model.Count(); ++i)
                w->addItem(FromLatin1(model.ItemText(i)));
        }
        w->setCurrentIndex(model.GetCurSel());
        ApplyCommonState(model, w);
    };
    Listen(model, widget, update);
    QObject::connect(widget, &QComboBox::activated, widget, [&model, widget, update](int index) {
        model.Select(index);
        QSignalBlocker block(widget);
        update(widget);
    });
}

void Bind(CRadioGroup& model, const QList<QRadioButton*>& widgets) {
    if (widgets.isEmpty())
        return;
    QList<QPointer<QRadioButton>> guards;
    for (QRadioButton* w : widgets)
        guards.append(w);
    auto update = [&model, guards] {
        for (int i = 0; i < guards.size() && i < model.Count(); ++i) {
            QRadioButton* w = guards[i];
            if (!w)
                continue;
            QSignalBlocker block(w);
            w->setText(FromLatin1(model.ItemText(i)));
            // Exclusive buttons cannot all be cleared; none is checked while no item is chosen.
            w->setAutoExclusive(false);
            w->setChecked(model.Selected() == i);
            w->setAutoExclusive(true);
            w->setEnabled(model.IsEnabled() && model.IsItemEnabled(i));
            ApplyVisible(model.IsVisible() && model.IsItemVisible(i), w);
        }
    };
    model.SetViewListener(update);
    model.SetFocusListener([&model, guards] {
        int i = model.Selected() >= 0 && model.Selected() < guards.size() ? model.Selected() : 0;
        if (guards[i])
            guards[i]->setFocus(Qt::OtherFocusReason);
    });
    update();
    for (int i = 0; i < widgets.size(); ++i) {
        QObject::connect(widgets[i], &QRadioButton::clicked, widgets[i], [&model, i, update] {
            model.Select(i);
            update();
        });
    }
}

void Bind(CEdit& model, QLineEdit* widget) {
    Listen(model, widget, [&model](QLineEdit* w) {
        QString text = FromLatin1(model.Text());
        if (w->text() != text)
            w->setText(text);
        w->setReadOnly(model.IsReadOnly());
        w->setEchoMode(model.IsPassword() ? QLineEdit::Password : QLineEdit::Normal);
        w->setMaxLength(model.MaxLength() > 0 ? model.MaxLength() : 32767);
        ApplyCommonState(model, w);
    });
    QPointer<QLineEdit> guard(widget);
    model.SetFocusListener([guard] {
        if (!guard)
            return;
        guard->setFocus(Qt::OtherFocusReason);
        guard->selectAll();
    });
    QObject::connect(widget, &QLineEdit::textEdited, widget, [&model, widget](const QString& t) {
        model.UserEdit(ToLatin1(t));
        QString shown = FromLatin1(model.Text());
        if (widget->text() != shown) {
            QSignalBlocker block(widget);
            widget->setText(shown);
        }
    });
}

void NameAfterLabels(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QWidget* buddy = label->buddy();
        if (!buddy || !buddy->accessibleName().isEmpty()) continue;
        QString text = label->text();
        // "&&" stands for one '&'; a single one marks the mnemonic.
        text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
        text.remove(QChar('&'));
        text.replace(QChar(1), QChar('&'));
        buddy->setAccessibleName(text.trimmed());
    }
}
