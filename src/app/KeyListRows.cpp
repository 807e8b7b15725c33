// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyListRows.h"

#include "app/MidiControl.h"
#include "app/SlotKeyControl.h"

#include <algorithm>

QList<KeyListRow> KeyListRows::build(const SlotKeyControl& keys, const MidiControl* midi,
                                     const std::function<QString(int)>& sheetName,
                                     const std::function<QString(int, int)>& title,
                                     const QList<std::pair<QKeySequence, QString>>& menuKeys)
{
    const auto midiText = [midi](const KeyTarget& target) {
        return midi ? midi->midiText(target) : QString();
    };
    QList<KeyListRow> rows;
    for (const KeyCommand command : SlotKeys::Commands)
        rows << KeyListRow{command,   keys.keyText(command),
                           QString(), SlotKeys::commandName(command),
                           QString(), command == KeyCommand::Audition ? QString() : midiText(command)};
    QList<SlotRef> slotRefs = midi ? midi->assignedSlots() : QList<SlotRef>();
    for (const QKeySequence& key : keys.keys().keys())
        if (const auto slot = keys.keys().slotOf(key); slot && !slotRefs.contains(*slot))
            slotRefs << *slot;
    std::sort(slotRefs.begin(), slotRefs.end(),
              [](SlotRef a, SlotRef b) { return a.sheet != b.sheet ? a.sheet < b.sheet : a.slot < b.slot; });
    for (const SlotRef slot : slotRefs)
        rows << KeyListRow{slot,
                           keys.keyText(slot),
                           sheetName(slot.sheet),
                           QString::number(slot.slot + 1),
                           title(slot.sheet, slot.slot),
                           midiText(slot)};
    for (const auto& [key, name] : menuKeys) {
        KeyListRow row;
        row.key = key.toString(QKeySequence::NativeText);
        row.sheet = QStringLiteral("(menu)");
        row.button = name;
        row.menu = true;
        rows << row;
    }
    return rows;
}
