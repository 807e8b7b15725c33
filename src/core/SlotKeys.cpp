// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeys.h"

#include "platform/Registry.h"
#include "songs/SongStruc.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

const QString KeysKey = QStringLiteral("Keys");
/// Names a command the operator left without a key: `none = Play` keeps Space from coming back.
const QString NoKey = QStringLiteral("none");

/// The keys commands have until the operator gives them others; never stored.
struct DefaultKey {
    Qt::Key key;
    KeyCommand command;
};
constexpr DefaultKey DefaultKeys[] = {{Qt::Key_Space, KeyCommand::Play},
                                      {Qt::Key_F9, KeyCommand::Audition},
                                      {Qt::Key_F11, KeyCommand::ShowView}};

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

std::optional<KeyTarget> parseTarget(const QString& text)
{
    const QString name = text.simplified();
    for (const KeyCommand command : SlotKeys::Commands)
        if (name.compare(SlotKeys::commandName(command), Qt::CaseInsensitive) == 0)
            return command;
    if (const auto slot = parseSlot(text))
        return *slot;
    return std::nullopt;
}

QString targetText(const KeyTarget& target)
{
    if (const auto* slot = std::get_if<SlotRef>(&target))
        return QStringLiteral("%1,%2").arg(slot->sheet).arg(slot->slot);
    return SlotKeys::commandName(std::get<KeyCommand>(target));
}

} // namespace

QString SlotKeys::commandName(KeyCommand command)
{
    switch (command) {
    case KeyCommand::Play:
        return QStringLiteral("Play");
    case KeyCommand::StopSong:
        return QStringLiteral("Stop Song");
    case KeyCommand::StopAll:
        return QStringLiteral("Stop All");
    case KeyCommand::Pause:
        return QStringLiteral("Pause");
    case KeyCommand::Fade:
        return QStringLiteral("Fade");
    case KeyCommand::NextSheet:
        return QStringLiteral("Next Sheet");
    case KeyCommand::PrevSheet:
        return QStringLiteral("Previous Sheet");
    case KeyCommand::Audition:
        return QStringLiteral("Audition");
    case KeyCommand::ShowView:
        return QStringLiteral("Show View");
    case KeyCommand::FadeAll:
        return QStringLiteral("Fade All");
    case KeyCommand::MasterUp:
        return QStringLiteral("Master Up");
    case KeyCommand::MasterDown:
        return QStringLiteral("Master Down");
    }
    return {};
}

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

std::optional<KeyTarget> SlotKeys::targetOf(const QKeySequence& key) const
{
    const QKeySequence k = normalized(key);
    for (const Binding& b : m_bindings)
        if (b.key == k)
            return b.target;
    return std::nullopt;
}

std::optional<SlotRef> SlotKeys::slotOf(const QKeySequence& key) const
{
    const auto target = targetOf(key);
    if (!target || !std::holds_alternative<SlotRef>(*target))
        return std::nullopt;
    return std::get<SlotRef>(*target);
}

QKeySequence SlotKeys::keyOf(const KeyTarget& target) const
{
    for (const Binding& b : m_bindings)
        if (b.target == target)
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

void SlotKeys::bind(const QKeySequence& key, const KeyTarget& target)
{
    const QKeySequence k = normalized(key);
    if (k.isEmpty())
        return;
    m_bindings.removeIf([&](const Binding& b) { return b.key == k || b.target == target; });
    m_bindings.append({k, target});
}

bool SlotKeys::clear(const KeyTarget& target)
{
    return m_bindings.removeIf([&](const Binding& b) { return b.target == target; }) > 0;
}

void SlotKeys::exchangeSheets(int a, int b)
{
    for (Binding& binding : m_bindings) {
        auto* slot = std::get_if<SlotRef>(&binding.target);
        if (!slot)
            continue;
        if (slot->sheet == a)
            slot->sheet = b;
        else if (slot->sheet == b)
            slot->sheet = a;
    }
}

void SlotKeys::load(Registry& registry)
{
    m_bindings.clear();
    const QStringList names = registry.OpenKey(KeysKey, false) ? registry.GetValueNames() : QStringList();
    QStringList noKey; // the commands the operator left without a key, by name
    for (const QString& name : names) {
        if (name.compare(NoKey, Qt::CaseInsensitive) == 0) {
            // One name holds one value: several commands without a key are listed in it.
            noKey << registry.ReadString(name).split(QLatin1Char(','));
            continue;
        }
        const QKeySequence key = normalized(QKeySequence::fromString(name, QKeySequence::PortableText));
        const std::optional<KeyTarget> target = parseTarget(registry.ReadString(name));
        if (!key.isEmpty() && target)
            bind(key, *target);
    }
    // Space plays the queue, F9 switches Audition and F11 turns the show view, unless the operator's keys say
    // otherwise.
    for (const DefaultKey& d : DefaultKeys) {
        const bool left = std::any_of(noKey.cbegin(), noKey.cend(), [&](const QString& n) {
            return parseTarget(n) == KeyTarget(d.command);
        });
        if (!left && keyOf(d.command).isEmpty() && !targetOf(QKeySequence(d.key)))
            bind(QKeySequence(d.key), d.command);
    }
}

void SlotKeys::save(Registry& registry) const
{
    registry.OpenKey(KeysKey, true);
    // The default keys go without saying: a file without them reads the same.
    const auto isDefault = [](const Binding& b) {
        return std::any_of(std::cbegin(DefaultKeys), std::cend(DefaultKeys), [&](const DefaultKey& d) {
            return b.key == QKeySequence(d.key) && b.target == KeyTarget(d.command);
        });
    };
    QStringList wanted;
    for (const Binding& b : m_bindings)
        if (!isDefault(b))
            wanted << keyText(b.key);
    // A command without a key while its default key is free: said, or the next start gives
    // the key back.
    QStringList noKey;
    for (const DefaultKey& d : DefaultKeys)
        if (keyOf(d.command).isEmpty() && !targetOf(QKeySequence(d.key)))
            noKey << commandName(d.command);
    if (!noKey.isEmpty())
        wanted << NoKey;
    for (const QString& name : registry.GetValueNames()) {
        // A name written by hand in another spelling ("f1") is rewritten as the program writes it.
        if (!wanted.contains(name))
            registry.DeleteValue(name);
    }
    for (const Binding& b : m_bindings)
        if (!isDefault(b))
            registry.WriteString(keyText(b.key), targetText(b.target));
    if (!noKey.isEmpty())
        registry.WriteString(NoKey, noKey.join(QLatin1Char(',')));
}
