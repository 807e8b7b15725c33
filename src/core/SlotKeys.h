// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

class Registry;

/// A sheet and slot, both counted from 0.
struct SlotRef {
    int sheet = 0;
    int slot = 0;
    friend bool operator==(const SlotRef&, const SlotRef&) = default;
};

/// The transport commands a key can run besides the slots.
/// Next Sheet and Previous Sheet keep the board's own Ctrl+Page Down and Ctrl+Page Up beside
/// any key given here. Audition switches Audition on or off; Show View turns the window's grid
/// of tiles on and off. Fade All fades out everything that plays; Master Up and Master Down
/// raise and lower the master level by `MasterStepDb`.
enum class KeyCommand : quint8 {
    Play,
    StopSong,
    StopAll,
    Pause,
    Fade,
    NextSheet,
    PrevSheet,
    Audition,
    ShowView,
    FadeAll,
    MasterUp,
    MasterDown
};

/// What a key does: play a slot, or run a transport command.
using KeyTarget = std::variant<SlotRef, KeyCommand>;

/// The keys that play slots and run the transport: at most one key per slot or command and
/// one target per key. Shift is never part of a key, as Shift with a slot's key queues the
/// song. Kept in the settings subkey "Keys" as "<portable key text>" = "sheet,slot" or
/// "<portable key text>" = "<command name>" ("Space = Play"). Space plays the queue, F9
/// switches Audition and F11 turns the show view on and off unless the stored keys give the
/// command another key or give the key to something else.
class SlotKeys {
public:
    static constexpr KeyCommand Commands[] = {
        KeyCommand::Play,     KeyCommand::StopSong,  KeyCommand::StopAll,   KeyCommand::Pause,
        KeyCommand::Fade,     KeyCommand::NextSheet, KeyCommand::PrevSheet, KeyCommand::Audition,
        KeyCommand::ShowView, KeyCommand::FadeAll,   KeyCommand::MasterUp,  KeyCommand::MasterDown};
    /// What one press of Master Up or Master Down moves the master level by.
    static constexpr double MasterStepDb = 3.0;

    /// "Play", "Stop Song", "Stop All", "Pause", "Fade", "Next Sheet", "Previous Sheet",
    /// "Audition", "Show View", "Fade All", "Master Up", "Master Down": also the names stored.
    [[nodiscard]] static QString commandName(KeyCommand command);

    /// The key without Shift, or an empty sequence for none.
    [[nodiscard]] static QKeySequence normalized(const QKeySequence& key);
    [[nodiscard]] static QString keyText(const QKeySequence& key);

    [[nodiscard]] std::optional<KeyTarget> targetOf(const QKeySequence& key) const;
    [[nodiscard]] std::optional<SlotRef> slotOf(const QKeySequence& key) const;
    [[nodiscard]] QKeySequence keyOf(const KeyTarget& target) const;
    [[nodiscard]] QList<QKeySequence> keys() const;

    /// Binds `key` to `target`; the key leaves any other target and the target drops its old key.
    void bind(const QKeySequence& key, const KeyTarget& target);
    /// True when the target had a key.
    bool clear(const KeyTarget& target);
    bool clearSlot(SlotRef slot) { return clear(slot); }
    /// The keys of two whole sheets change places with their songs.
    void exchangeSheets(int a, int b);

    /// Reads the subkey "Keys" of the open key; entries that name no key or no target are skipped.
    void load(Registry& registry);
    /// Rewrites the subkey "Keys" of the open key: values of keys no longer bound are removed.
    void save(Registry& registry) const;

private:
    struct Binding {
        QKeySequence key;
        KeyTarget target;
    };
    QList<Binding> m_bindings;
};
