// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyRepeatGuard.h"

#include <QCoreApplication>
#include <QKeyEvent>

KeyRepeatGuard::KeyRepeatGuard(QObject* parent)
    : QObject(parent)
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

KeyRepeatGuard::~KeyRepeatGuard()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool KeyRepeatGuard::lastPressRepeated(int key) const
{
    return m_pressedKey == key && m_pressRepeated;
}

bool KeyRepeatGuard::note(const QKeyEvent& event)
{
    const int key = event.key();
    switch (event.type()) {
    case QEvent::KeyRelease:
        if (!event.isAutoRepeat()) {
            m_releasedKey = key;
            m_releasedAt = event.timestamp();
        }
        return false;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        // The override that comes before a shortcut and the press itself are one press.
        const bool repeat = event.isAutoRepeat() || (key == m_releasedKey && event.timestamp() != 0 &&
                                                     event.timestamp() == m_releasedAt);
        m_pressedKey = key;
        m_pressRepeated = repeat;
        return repeat;
    }
    default:
        return false;
    }
}

bool KeyRepeatGuard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        note(*static_cast<QKeyEvent*>(event));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
