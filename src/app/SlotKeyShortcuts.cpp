// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeyShortcuts.h"

#include "platform/KeyRepeatGuard.h"

#include <QShortcut>
#include <QWidget>

SlotKeyShortcuts::SlotKeyShortcuts(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_repeats(new KeyRepeatGuard(this))
{
}

SlotKeyShortcuts::~SlotKeyShortcuts()
{
    qDeleteAll(m_shortcuts);
}

void SlotKeyShortcuts::setKeys(const SlotKeys& keys)
{
    qDeleteAll(m_shortcuts);
    m_shortcuts.clear();
    for (const QKeySequence& key : keys.keys()) {
        const auto target = keys.slotOf(key);
        if (!target) {
            if (const auto command = keys.targetOf(key))
                addCommand(key, std::get<KeyCommand>(*command));
            continue;
        }
        for (const bool shift : {false, true}) {
            const QKeySequence seq =
                shift ? QKeySequence(
                            QKeyCombination(key[0].keyboardModifiers() | Qt::ShiftModifier, key[0].key()))
                      : key;
            auto* shortcut = new QShortcut(seq, m_window);
            shortcut->setContext(Qt::WindowShortcut); // never while a dialog or the tab-name box is in front
            shortcut->setAutoRepeat(false);           // a held key presses once
            connect(shortcut, &QShortcut::activated, this, [this, key, slot = *target, shift] {
                if (m_repeats->lastPressRepeated(key[0].key()))
                    return; // the window system's repeat of a key held down
                Q_EMIT pressed(slot, shift);
            });
            m_shortcuts << shortcut;
        }
    }
}

void SlotKeyShortcuts::addCommand(const QKeySequence& key, KeyCommand command)
{
    auto* shortcut = new QShortcut(key, m_window);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, this, [this, key, command] {
        if (m_repeats->lastPressRepeated(key[0].key()))
            return;
        Q_EMIT commandPressed(command);
    });
    m_shortcuts << shortcut;
}
