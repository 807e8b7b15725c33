// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SlotKeys.h"
#include "midi/MidiAssignments.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>
#include <utility>

class BoardSettings;
struct KeyListRow;
class Dialogs;
class MidiControl;
class SlotKeyShortcuts;
class QWidget;

/// The keys that play slots, as the operator gives and takes them: read from the settings,
/// made into the window's shortcuts, assigned through the key dialog (a key that plays another
/// slot moves only when the operator agrees), following their slots when sheets move, and
/// stored after every change.
class SlotKeyControl : public QObject {
    Q_OBJECT
public:
    SlotKeyControl(QWidget* window, BoardSettings& settings, Dialogs& dialogs);

    /// MIDI notes and controls are learned in the key dialog too, and cleared with the keys.
    void setMidi(MidiControl* midi) { m_midi = midi; }
    /// What the window tells the keys: a sheet's name, a slot's title, and the keys its menus use.
    struct Names {
        std::function<QString(int sheet)> sheet;
        std::function<QString(int sheet, int slot)> title;
        std::function<QHash<QKeySequence, QString>()> menuKeys;
        /// The menu items' keys in menu order, for the Keys list.
        std::function<QList<std::pair<QKeySequence, QString>>()> menuItemKeys;
    };
    void setNames(Names names) { m_names = std::move(names); }

    /// Reads the keys and makes their shortcuts; nothing is written.
    void load();
    [[nodiscard]] const SlotKeys& keys() const { return m_keys; }
    /// The key of a slot or command as the operator reads it; empty when it has none.
    [[nodiscard]] QString keyText(const KeyTarget& target) const;

    /// Asks for a key for `target`, which the dialog calls `caption`. `reserved` keys are refused,
    /// each with what it belongs to ("the menu (Stop Song)"); `sheetName` names a sheet in the question.
    void assign(const KeyTarget& target, const QString& caption, const QHash<QKeySequence, QString>& reserved,
                const std::function<QString(int)>& sheetName);
    /// Asks for a key for `target` as the window names it; the menus' and the board's own keys
    /// are refused.
    void assign(const KeyTarget& target, const QString& caption);
    void clear(const KeyTarget& target);
    void sheetsExchanged(int sheetA, int sheetB);

    /// The keys no assignment may take, each with what it belongs to.
    [[nodiscard]] QHash<QKeySequence, QString> reservedKeys() const;
    /// The keys the slots and commands take, Shift with a slot's key included (it queues).
    [[nodiscard]] QList<QKeySequence> takenKeys() const;
    /// The lines of the key list: the commands, then the slots' keys by sheet and button.
    [[nodiscard]] QList<KeyListRow> listRows() const;
    /// The list of every key, to clear, print or save, over `owner`.
    void showList(QWidget* owner);

    /// A slot's key and MIDI messages, kept to be given back after the slot was cleared.
    struct SlotAssignments {
        QKeySequence key;
        std::optional<MidiMessageId> plain;
        std::optional<MidiMessageId> queue;
    };
    [[nodiscard]] SlotAssignments slotAssignments(SlotRef slot) const;
    /// Gives the slot back what slotAssignments returned, without asking.
    void restoreSlot(SlotRef slot, const SlotAssignments& kept);

Q_SIGNALS:
    /// A key was pressed: play (with Shift: queue) its slot.
    void pressed(SlotRef slot, bool shift);
    /// A command's key was pressed.
    void commandPressed(KeyCommand command);
    /// The key of a plain press on `slot` was let go of.
    void released(SlotRef slot);
    /// The keys changed and are stored.
    void changed();

private:
    void keysChanged();
    /// Gives `message` to `target`, asking first when it does something else; `caption` names
    /// a command (empty for a slot).
    void assignMidi(const MidiMessageId& message, const MidiTarget& target, const QString& caption,
                    const std::function<QString(int)>& sheetName);

    QWidget* m_window;
    BoardSettings& m_settings;
    Dialogs& m_dialogs;
    SlotKeys m_keys;
    SlotKeyShortcuts* m_shortcuts;
    MidiControl* m_midi = nullptr;
    Names m_names;
};
