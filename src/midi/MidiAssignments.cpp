// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiAssignments.h"

#include "midi/MidiInputFilter.h"
#include "platform/Registry.h"

#include <QRegularExpression>

namespace {
constexpr int Sheets = 10;
constexpr int Slots = 36;

struct CommandName {
    MidiCommand command;
    const char* name;
};
constexpr CommandName CommandNames[] = {
    {MidiCommand::Play, "play"},           {MidiCommand::Stop, "stop"},
    {MidiCommand::StopAll, "stopall"},     {MidiCommand::Pause, "pause"},
    {MidiCommand::Fade, "fade"},           {MidiCommand::NextSheet, "nextsheet"},
    {MidiCommand::PrevSheet, "prevsheet"}, {MidiCommand::FadeAll, "fadeall"},
    {MidiCommand::Master, "master"},
};
} // namespace

QString MidiAssignments::messageText(const MidiMessageId& message)
{
    return QStringLiteral("%1 %2 %3")
        .arg(message.kind == MidiMessageId::Kind::Note ? QStringLiteral("note") : QStringLiteral("cc"))
        .arg(message.channel)
        .arg(message.number);
}

std::optional<MidiMessageId> MidiAssignments::parseMessage(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(note|cc)\\s+(\\d{1,2})\\s+(\\d{1,3})\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int channel = m.captured(2).toInt();
    const int number = m.captured(3).toInt();
    if (channel < 1 || channel > 16 || number > 127)
        return std::nullopt;
    const auto kind = m.captured(1).compare(QLatin1String("note"), Qt::CaseInsensitive) == 0
                          ? MidiMessageId::Kind::Note
                          : MidiMessageId::Kind::Control;
    return MidiMessageId{kind, channel, number};
}

QString MidiAssignments::targetText(const MidiTarget& target)
{
    if (const auto* slot = std::get_if<MidiSlot>(&target))
        return QStringLiteral("%1%2,%3")
            .arg(slot->queue ? QStringLiteral("queue ") : QString())
            .arg(slot->sheet)
            .arg(slot->slot);
    for (const CommandName& c : CommandNames)
        if (c.command == std::get<MidiCommand>(target))
            return QLatin1String(c.name);
    return {};
}

std::optional<MidiTarget> MidiAssignments::parseTarget(const QString& text)
{
    const QString t = text.trimmed();
    for (const CommandName& c : CommandNames)
        if (t.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return c.command;
    static const QRegularExpression form(QStringLiteral("^(queue\\s+)?(\\d{1,2})\\s*,\\s*(\\d{1,2})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const int sheet = m.captured(2).toInt();
    const int slot = m.captured(3).toInt();
    if (sheet >= Sheets || slot >= Slots)
        return std::nullopt;
    return MidiSlot{sheet, slot, m.capturedLength(1) > 0};
}

QString MidiAssignments::describe(const MidiMessageId& message)
{
    return QStringLiteral("%1 %2, channel %3")
        .arg(message.kind == MidiMessageId::Kind::Note ? QStringLiteral("Note") : QStringLiteral("Control"))
        .arg(message.number)
        .arg(message.channel);
}

std::optional<MidiTarget> MidiAssignments::targetOf(const MidiMessageId& message) const
{
    for (const Binding& b : m_bindings)
        if (b.message == message)
            return b.target;
    return std::nullopt;
}

std::optional<MidiMessageId> MidiAssignments::messageOf(const MidiTarget& target) const
{
    for (const Binding& b : m_bindings)
        if (b.target == target)
            return b.message;
    return std::nullopt;
}

QList<MidiMessageId> MidiAssignments::messages() const
{
    QList<MidiMessageId> all;
    for (const Binding& b : m_bindings)
        all << b.message;
    return all;
}

void MidiAssignments::bind(const MidiMessageId& message, const MidiTarget& target)
{
    m_bindings.removeIf([&](const Binding& b) { return b.message == message || b.target == target; });
    m_bindings.append({message, target});
}

bool MidiAssignments::clear(const MidiTarget& target)
{
    return m_bindings.removeIf([&](const Binding& b) { return b.target == target; }) > 0;
}

void MidiAssignments::exchangeSheets(int a, int b)
{
    for (Binding& binding : m_bindings)
        if (auto* slot = std::get_if<MidiSlot>(&binding.target)) {
            if (slot->sheet == a)
                slot->sheet = b;
            else if (slot->sheet == b)
                slot->sheet = a;
        }
}

void MidiAssignments::load(Registry& registry)
{
    m_bindings.clear();
    m_unreadable.clear();
    if (!registry.OpenKey(Subkey, false))
        return;
    for (const QString& name : registry.GetValueNames()) {
        if (MidiInputFilter::isSettingName(name))
            continue; // the input's channel and device, read by their own
        const QString value = registry.ReadString(name);
        const auto message = parseMessage(name);
        const auto target = parseTarget(value);
        if (message && target && !targetOf(*message))
            bind(*message, *target);
        else
            m_unreadable << QStringLiteral("%1 = %2").arg(name, value);
    }
}

void MidiAssignments::save(Registry& registry) const
{
    registry.OpenKey(Subkey, true);
    QStringList wanted;
    for (const Binding& b : m_bindings)
        wanted << messageText(b.message);
    for (const QString& name : registry.GetValueNames()) {
        // Only lines the board reads are its own to remove; the others stay as they were written.
        if (parseMessage(name) && parseTarget(registry.ReadString(name)) && !wanted.contains(name))
            registry.DeleteValue(name);
    }
    for (const Binding& b : m_bindings)
        registry.WriteString(messageText(b.message), targetText(b.target));
}
