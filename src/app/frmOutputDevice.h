// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/OutputDevices.h"

#include <QDialog>

class QComboBox;
class QListWidget;
class QPushButton;
class QVBoxLayout;

/// Chooses the output songs play on: "Default output" (the desktop's choice) or one of
/// the sound server's outputs, by description; and, when offered, the output previews play
/// on: "None" or one of the same outputs.
class TfrmOutputDevice : public QDialog {
    Q_OBJECT
public:
    /// `current`: the stored choice, listed even when that output is not there now.
    TfrmOutputDevice(QWidget* owner, const QList<OutputDevices::Device>& outputs, const QString& current);

    /// The output chosen: its name, empty for the default output.
    [[nodiscard]] QString chosen() const;
    /// Adds the choice of the preview output below; `current` is the stored one (empty: none).
    void offerPreview(const QString& current);
    /// The preview output chosen: its name, empty for none.
    [[nodiscard]] QString chosenPreview() const;

    QListWidget* lstOutputs = nullptr;
    QComboBox* cboPreview = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

private:
    QList<OutputDevices::Device> m_outputs;
    QVBoxLayout* m_layout = nullptr;
};
