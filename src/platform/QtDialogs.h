// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Dialogs.h"

/// Dialogs on Qt's message box, input dialog and file dialogs.
class QtDialogs : public Dialogs {
public:
    Answer messageBox(QWidget* parent, const QString& text, Style style, Buttons buttons) override;
    QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                     const QString& initial) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& initialDir,
                                        const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& initialDir,
                                        const QString& filter) override;
};
