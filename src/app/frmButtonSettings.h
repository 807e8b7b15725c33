// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/OutputDevices.h"
#include "songs/ButtonSettings.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class QPushButton;
class QRadioButton;

/// How one button plays its song: its volume in dB on top of its level and the fade, what a
/// press does (restart, toggle, hold), whether it loops, whether it plays over what plays, on
/// which output and channels, and how deep it dips the others. Opens with the button's settings;
/// `outputs` are the sound server's outputs now (a stored one not among them is still offered).
class TfrmButtonSettings : public QDialog {
    Q_OBJECT
public:
    TfrmButtonSettings(QWidget* owner, const QString& title, const ButtonSettings& settings,
                       const QList<OutputDevices::Device>& outputs = {});

    /// The settings as the dialog shows them.
    [[nodiscard]] ButtonSettings settings() const;

    QDoubleSpinBox* edVolume = nullptr;
    QRadioButton* rbRestart = nullptr;
    QRadioButton* rbToggle = nullptr;
    QRadioButton* rbHold = nullptr;
    QCheckBox* cbLoop = nullptr;
    QCheckBox* cbLayer = nullptr;
    /// Each item's data is the stored output name; the channel list's a QPoint of
    /// the first channel (0: the output's stereo) and the count.
    QComboBox* cboOutput = nullptr;
    QComboBox* cboChannels = nullptr;
    QSpinBox* edDuck = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    /// The channel choices of the chosen output; `first` and `count` chosen when offered.
    void offerChannels(int first, int count);

    QList<OutputDevices::Device> m_outputs;
};
