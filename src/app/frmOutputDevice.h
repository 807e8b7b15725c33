// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/OutputDevices.h"

#include <QDialog>

class QListWidget;
class QPushButton;

/// Chooses the output songs play on: "Default output" (the desktop's choice) or one of
/// the sound server's outputs, by description.
class TfrmOutputDevice : public QDialog {
    Q_OBJECT
public:
    /// `current`: the stored choice, listed even when that output is not there now.
    TfrmOutputDevice(QWidget* owner, const QList<OutputDevices::Device>& outputs, const QString& current);

    /// The output chosen: its name, empty for the default output.
    [[nodiscard]] QString chosen() const;

    QListWidget* lstOutputs = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
};
