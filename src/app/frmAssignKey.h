// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiParser.h"

#include <QDialog>
#include <QHash>
#include <QKeySequence>

#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;

/// Catches the next key for a sound button or a transport command. Reserved keys and Shift
/// alone are refused with a message, and the dialog waits for another; Escape or Cancel gives
/// up. The key event is read into a key sequence first, and `offer` decides: another kind of
/// input can be offered the same way.
class TfrmAssignKey : public QDialog {
    Q_OBJECT
public:
    /// `prompt` says what the key will do; `reserved`: keys that belong to something else, each
    /// with what it belongs to ("the menu (Stop Song)").
    TfrmAssignKey(QWidget* owner, const QString& prompt, QHash<QKeySequence, QString> reserved);

    /// The key caught, without Shift; empty until one was.
    [[nodiscard]] QKeySequence key() const { return m_key; }

    /// Takes `key` and closes, or says why it cannot be taken and waits. True when taken.
    bool offer(const QKeySequence& key);

    /// Says that a note or control of a MIDI controller is taken too. `forSlot`: the note may
    /// instead queue the song, as Shift with a press does: chosen with "Queue (Shift+press)",
    /// or by holding Shift while the note comes.
    void listenForMidi(bool forSlot = false);
    /// Takes a MIDI note or control and closes.
    void offerMidi(const MidiMessageId& message);
    /// The MIDI message caught; nothing when a key was, or nothing.
    [[nodiscard]] std::optional<MidiMessageId> midi() const { return m_midi; }
    /// Whether the MIDI message caught queues the song rather than plays it.
    [[nodiscard]] bool midiQueues() const { return m_midiQueues; }

    QLabel* lblPrompt = nullptr;
    QLabel* lblMessage = nullptr;
    QCheckBox* chkQueue = nullptr; ///< only while a slot listens for MIDI
    QPushButton* btnCancel = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    void keyCaught(QKeyEvent* event);

    QHash<QKeySequence, QString> m_reserved;
    QKeySequence m_key;
    std::optional<MidiMessageId> m_midi;
    bool m_midiQueues = false;
    bool m_onlyShift = false; ///< Shift went down and nothing else since
    bool m_shiftDown = false;
};
