// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/ButtonSettings.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QRadioButton;

/// How one button plays its song: its volume in dB on top of its level and the fade, what a
/// press does (restart, toggle, hold), and whether it loops. Opens with the button's settings.
class TfrmButtonSettings : public QDialog {
    Q_OBJECT
public:
    TfrmButtonSettings(QWidget* owner, const QString& title, const ButtonSettings& settings);

    /// The settings as the dialog shows them.
    [[nodiscard]] ButtonSettings settings() const;

    QDoubleSpinBox* edVolume = nullptr;
    QRadioButton* rbRestart = nullptr;
    QRadioButton* rbToggle = nullptr;
    QRadioButton* rbHold = nullptr;
    QCheckBox* cbLoop = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};
