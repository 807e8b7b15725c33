// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiInputFilter.h"

#include "midi/MidiAssignments.h"
#include "platform/Registry.h"

#include <QRegularExpression>

namespace {
const QString Any = QStringLiteral("any");
}

bool MidiInputFilter::isSettingName(const QString& name)
{
    const QString n = name.simplified();
    return n.compare(ChannelName, Qt::CaseInsensitive) == 0 ||
           n.compare(DeviceName, Qt::CaseInsensitive) == 0;
}

QString MidiInputFilter::deviceOf(const QString& portName)
{
    static const QRegularExpression numbers(QStringLiteral("\\s+\\d+:\\d+$"));
    return QString(portName).remove(numbers).trimmed();
}

bool MidiInputFilter::acceptsPort(const QString& portName) const
{
    return device.isEmpty() || deviceOf(portName).contains(device, Qt::CaseInsensitive);
}

void MidiInputFilter::load(Registry& registry, QStringList* unreadable)
{
    *this = {};
    if (!registry.OpenKey(MidiAssignments::Subkey, false))
        return;
    for (const QString& name : registry.GetValueNames()) {
        if (!isSettingName(name))
            continue;
        const QString value = registry.ReadString(name).trimmed();
        const bool any = value.compare(Any, Qt::CaseInsensitive) == 0;
        bool read = any;
        if (name.simplified().compare(ChannelName, Qt::CaseInsensitive) == 0) {
            bool number = false;
            const int c = value.toInt(&number, 10);
            if (!any && number && c >= 1 && c <= 16) {
                channel = c;
                read = true;
            }
        } else if (!any && !value.isEmpty()) {
            device = value;
            read = true;
        }
        if (!read && unreadable)
            *unreadable << QStringLiteral("%1 = %2").arg(name, value);
    }
}

void MidiInputFilter::save(Registry& registry) const
{
    registry.OpenKey(MidiAssignments::Subkey, true);
    registry.WriteString(ChannelName, channel == 0 ? Any : QString::number(channel));
    registry.WriteString(DeviceName, device.isEmpty() ? Any : device);
}
