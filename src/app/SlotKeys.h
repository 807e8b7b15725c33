// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <optional>

class Registry;

/// A sheet and slot, both counted from 0.
struct SlotRef {
    int sheet = 0;
    int slot = 0;
    friend bool operator==(const SlotRef&, const SlotRef&) = default;
};

/// The keys that play slots: at most one key per slot and one slot per key. Shift is never
/// part of a key, as Shift with the key queues the song. Kept in the settings subkey "Keys"
/// as "<portable key text>" = "sheet,slot".
class SlotKeys {
public:
    /// The key without Shift, or an empty sequence for none.
    [[nodiscard]] static QKeySequence normalized(const QKeySequence& key);
    [[nodiscard]] static QString keyText(const QKeySequence& key);

    [[nodiscard]] std::optional<SlotRef> slotOf(const QKeySequence& key) const;
    [[nodiscard]] QKeySequence keyOf(SlotRef slot) const;
    [[nodiscard]] QList<QKeySequence> keys() const;

    /// Binds `key` to `slot`; the key leaves any other slot and the slot drops its old key.
    void bind(const QKeySequence& key, SlotRef slot);
    /// True when the slot had a key.
    bool clearSlot(SlotRef slot);
    /// The keys of two whole sheets change places with their songs.
    void exchangeSheets(int a, int b);

    /// Reads the subkey "Keys" of the open key; entries that name no key or no slot are skipped.
    void load(Registry& registry);
    /// Rewrites the subkey "Keys" of the open key: values of keys no longer bound are removed.
    void save(Registry& registry) const;

private:
    struct Binding {
        QKeySequence key;
        SlotRef slot;
    };
    QList<Binding> m_bindings;
};
