// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SlotKeys.h"
#include "midi/MidiAssignments.h"
#include "midi/MidiInputFilter.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Board;
class MidiDevices;
class MidiRemote;
class Registry;
class ShowCore;
class QWidget;

/// MIDI controllers on the board: the assignments read from and stored in the settings, the
/// ports read, the pads lit, and the next press handed to the key dialog while it learns. What
/// happens by itself (a controller unplugged) is said once in the status bar; MIDI that is off
/// and lines that cannot be read are said in the About box.
class MidiControl : public QObject {
    Q_OBJECT
public:
    /// Status bar topic of MIDI's news.
    static inline const QString News = QStringLiteral("midi");

    /// `show` may be null (tests): the news then only goes out as `news`.
    MidiControl(ShowCore* show, Board& board, Registry& registry, QObject* parent = nullptr);
    ~MidiControl() override;

    /// Reads the assignments and the controller profiles, and opens the ports.
    void start();

    [[nodiscard]] MidiRemote& remote() { return *m_remote; }
    [[nodiscard]] MidiDevices& devices() { return *m_devices; }
    /// What the About box says of MIDI; empty when all is well.
    [[nodiscard]] QString aboutNote() const;

    /// The MIDI target of a slot (`queue`: as Shift with a press) or a transport command.
    [[nodiscard]] static MidiTarget targetFor(const KeyTarget& target, bool queue = false);
    /// Show View is the window's own and has a key only: no MIDI message is learned for it.
    [[nodiscard]] static bool takesMidi(const KeyTarget& target);
    /// The notes and controls of a slot or command as the Keys list shows them ("Note 36 ch 1",
    /// "Note 36 ch 1, Shift: Note 40 ch 1"); empty when it has none.
    [[nodiscard]] QString midiText(const KeyTarget& target) const;
    /// The slots that have a note or control.
    [[nodiscard]] QList<SlotRef> assignedSlots() const;
    /// What `message` does now, as the operator reads it ("plays button 3 of "Intro"", "Play"),
    /// with `sheetName` naming sheets; empty when it does nothing.
    [[nodiscard]] QString useOf(const MidiMessageId& message,
                                const std::function<QString(int)>& sheetName) const;

    /// The next press of any controller goes to `learner` instead of the board.
    void learn(std::function<void(const MidiMessageId&)> learner);
    void stopLearning();
    void bind(const MidiMessageId& message, const MidiTarget& target);
    /// Clears the slot's or command's notes and controls, the Shift+press one too.
    void clear(const KeyTarget& target);
    void exchangeSheets(int a, int b);

    [[nodiscard]] const MidiInputFilter& input() const { return m_input; }
    /// Narrows the input to a channel and a device (or widens it) and stores the choice.
    void setInput(const MidiInputFilter& input);
    /// The operator's "MIDI Input..." dialog, over `owner`.
    void editInput(QWidget* owner);

Q_SIGNALS:
    void news(const QString& text);

private:
    void save();
    void say(const QString& text);

    ShowCore* m_show;
    Registry& m_registry;
    std::unique_ptr<MidiRemote> m_remote;
    std::unique_ptr<MidiDevices> m_devices;
    MidiInputFilter m_input;
    QString m_aboutNote; ///< what stays true all run: files and lines that could not be read
    QString m_offNote;   ///< why MIDI is off, while it is
};
