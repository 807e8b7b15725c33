// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeyShortcuts.h"

#include "platform/KeyRepeatGuard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {
/// How long a release waits for the press of a window system's repeat that may follow it.
constexpr int RepeatSettleMs = 40;
} // namespace

SlotKeyShortcuts::SlotKeyShortcuts(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_repeats(new KeyRepeatGuard(this))
{
    QCoreApplication::instance()->installEventFilter(this);
}

SlotKeyShortcuts::~SlotKeyShortcuts()
{
    QCoreApplication::instance()->removeEventFilter(this);
    qDeleteAll(m_shortcuts);
}

bool SlotKeyShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate && watched == m_window) {
        // The release of a key held now goes to the window in front, or nowhere: it counts as
        // let go of, so that a held song never plays on out of the operator's reach.
        m_letGo.clear();
        for (const SlotRef& slot : std::exchange(m_held, {}))
            Q_EMIT released(slot);
        return QObject::eventFilter(watched, event);
    }
    if (type != QEvent::KeyRelease && type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key();
    if (!m_held.contains(code))
        return QObject::eventFilter(watched, event);
    if (type != QEvent::KeyRelease) {
        m_letGo.remove(code); // pressed again at once: the key is still held
    } else if (!key->isAutoRepeat()) {
        const quint64 release = ++m_releases;
        m_letGo.insert(code, release);
        QTimer::singleShot(RepeatSettleMs, this, [this, code, release] {
            if (m_letGo.value(code) != release)
                return;
            m_letGo.remove(code);
            if (m_held.contains(code))
                Q_EMIT released(m_held.take(code));
        });
    }
    return QObject::eventFilter(watched, event);
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
                if (!shift)
                    m_held.insert(key[0].key(), slot);
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
