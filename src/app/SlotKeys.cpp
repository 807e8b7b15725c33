// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeys.h"

#include "platform/Registry.h"
#include "songs/SongStruc.h"

#include <QStringList>

namespace {

const QString KeysKey = QStringLiteral("Keys");

std::optional<SlotRef> parseSlot(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    bool okSheet = false;
    bool okSlot = false;
    const SlotRef ref{parts[0].trimmed().toInt(&okSheet, 10), parts[1].trimmed().toInt(&okSlot, 10)};
    if (!okSheet || !okSlot || ref.sheet < 0 || ref.sheet >= SheetCount || ref.slot < 0 ||
        ref.slot >= SlotCount)
        return std::nullopt;
    return ref;
}

} // namespace

QKeySequence SlotKeys::normalized(const QKeySequence& key)
{
    if (key.count() != 1)
        return {};
    const QKeyCombination combination = key[0];
    if (combination.key() == Qt::Key_unknown || combination.key() == 0)
        return {};
    return QKeySequence(
        QKeyCombination(combination.keyboardModifiers() & ~Qt::ShiftModifier, combination.key()));
}

QString SlotKeys::keyText(const QKeySequence& key)
{
    return key.toString(QKeySequence::PortableText);
}

std::optional<SlotRef> SlotKeys::slotOf(const QKeySequence& key) const
{
    const QKeySequence k = normalized(key);
    for (const Binding& b : m_bindings)
        if (b.key == k)
            return b.slot;
    return std::nullopt;
}

QKeySequence SlotKeys::keyOf(SlotRef slot) const
{
    for (const Binding& b : m_bindings)
        if (b.slot == slot)
            return b.key;
    return {};
}

QList<QKeySequence> SlotKeys::keys() const
{
    QList<QKeySequence> out;
    for (const Binding& b : m_bindings)
        out << b.key;
    return out;
}

void SlotKeys::bind(const QKeySequence& key, SlotRef slot)
{
    const QKeySequence k = normalized(key);
    if (k.isEmpty())
        return;
    m_bindings.removeIf([&](const Binding& b) { return b.key == k || b.slot == slot; });
    m_bindings.append({k, slot});
}

bool SlotKeys::clearSlot(SlotRef slot)
{
    return m_bindings.removeIf([&](const Binding& b) { return b.slot == slot; }) > 0;
}

void SlotKeys::exchangeSheets(int a, int b)
{
    for (Binding& binding : m_bindings) {
        if (binding.slot.sheet == a)
            binding.slot.sheet = b;
        else if (binding.slot.sheet == b)
            binding.slot.sheet = a;
    }
}

void SlotKeys::load(Registry& registry)
{
    m_bindings.clear();
    if (!registry.OpenKey(KeysKey, false))
        return;
    for (const QString& name : registry.GetValueNames()) {
        const QKeySequence key = normalized(QKeySequence::fromString(name, QKeySequence::PortableText));
        const std::optional<SlotRef> slot = parseSlot(registry.ReadString(name));
        if (!key.isEmpty() && slot)
            bind(key, *slot);
    }
}

void SlotKeys::save(Registry& registry) const
{
    registry.OpenKey(KeysKey, true);
    QStringList wanted;
    for (const Binding& b : m_bindings)
        wanted << keyText(b.key);
    for (const QString& name : registry.GetValueNames()) {
        // A name written by hand in another spelling ("f1") is rewritten as the program writes it.
        if (!wanted.contains(name))
            registry.DeleteValue(name);
    }
    for (const Binding& b : m_bindings)
        registry.WriteString(keyText(b.key), QStringLiteral("%1,%2").arg(b.slot.sheet).arg(b.slot.slot));
}
