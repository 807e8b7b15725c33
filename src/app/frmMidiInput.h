// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiInputFilter.h"

#include <QDialog>
#include <QStringList>

class QComboBox;

/// Narrows the MIDI input: the channel (any, or 1..16) and the device (any, one of those
/// plugged in, or a name typed, matched as part of the port's name).
class TfrmMidiInput : public QDialog {
    Q_OBJECT
public:
    /// `devices`: the devices plugged in now, offered in the list.
    TfrmMidiInput(QWidget* owner, const MidiInputFilter& input, const QStringList& devices);

    /// The choice as it stands.
    [[nodiscard]] MidiInputFilter input() const;

    QComboBox* cboChannel = nullptr;
    QComboBox* cboDevice = nullptr;
};
