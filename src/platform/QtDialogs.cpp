// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

Dialogs::Answer QtDialogs::messageBox(QWidget* parent, const QString& text, Style style, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(text);
    switch (style) {
    case Style::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Style::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Style::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons != Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(buttons == Buttons::YesNo ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtDialogs::inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                            const QString& initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
    return ok ? text : initial;
}

std::optional<QString> QtDialogs::openFileName(QWidget* parent, const QString& initialDir,
                                               const QString& filter)
{
    const QString name = QFileDialog::getOpenFileName(parent, QString(), initialDir, filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtDialogs::saveFileName(QWidget* parent, const QString& initialDir,
                                               const QString& filter)
{
    const QString name = QFileDialog::getSaveFileName(parent, QString(), initialDir, filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}
