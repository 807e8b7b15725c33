// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/SlotKeys.h"
#include "midi/MidiAssignments.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Board;
class MidiDevices;
class MidiRemote;
class Registry;
class TMainForm;

/// MIDI controllers on the board: the assignments read from and stored in the settings, the
/// ports read, the pads lit, and the next press handed to the key dialog while it learns. What
/// happens by itself (a controller unplugged) is said once in the status bar; MIDI that is off
/// and lines that cannot be read are said in the About box.
class MidiControl : public QObject {
    Q_OBJECT
public:
    /// Status bar topic of MIDI's news.
    static inline const QString News = QStringLiteral("midi");

    /// `form` may be null (tests): the news then only goes out as `news`.
    MidiControl(TMainForm* form, Board& board, Registry& registry, QObject* parent = nullptr);
    ~MidiControl() override;

    /// Reads the assignments and the controller profiles, and opens the ports.
    void start();

    [[nodiscard]] MidiRemote& remote() { return *m_remote; }
    [[nodiscard]] MidiDevices& devices() { return *m_devices; }
    /// What the About box says of MIDI; empty when all is well.
    [[nodiscard]] QString aboutNote() const { return m_aboutNote; }

    /// The MIDI target of a slot or a transport command.
    [[nodiscard]] static MidiTarget targetFor(const KeyTarget& target);
    /// What `message` does now, as the operator reads it ("plays button 3 of "Intro"", "Play"),
    /// with `sheetName` naming sheets; empty when it does nothing.
    [[nodiscard]] QString useOf(const MidiMessageId& message,
                                const std::function<QString(int)>& sheetName) const;

    /// The next press of any controller goes to `learner` instead of the board.
    void learn(std::function<void(const MidiMessageId&)> learner);
    void stopLearning();
    void bind(const MidiMessageId& message, const KeyTarget& target);
    void clear(const KeyTarget& target);
    void exchangeSheets(int a, int b);

Q_SIGNALS:
    void news(const QString& text);

private:
    void save();
    void say(const QString& text);

    TMainForm* m_form;
    Registry& m_registry;
    std::unique_ptr<MidiRemote> m_remote;
    std::unique_ptr<MidiDevices> m_devices;
    QString m_aboutNote;
};
