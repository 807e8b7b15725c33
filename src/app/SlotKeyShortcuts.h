// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/SlotKeys.h"

#include <QList>
#include <QObject>

class KeyRepeatGuard;
class QShortcut;
class QWidget;

/// The window's shortcuts for the keys: each slot's key plays its slot, and with Shift queues it;
/// a command's key runs its command; while the window is active and no dialog stands in front of it. A key
/// held down plays its slot once, whatever the window system repeats.
class SlotKeyShortcuts : public QObject {
    Q_OBJECT
public:
    explicit SlotKeyShortcuts(QWidget* window);
    ~SlotKeyShortcuts() override;

    /// Makes the shortcuts anew for `keys`.
    void setKeys(const SlotKeys& keys);

Q_SIGNALS:
    void pressed(SlotRef slot, bool shift);
    void commandPressed(KeyCommand command);

private:
    void addCommand(const QKeySequence& key, KeyCommand command);

    QWidget* m_window;
    KeyRepeatGuard* m_repeats;
    QList<QShortcut*> m_shortcuts;
};
