// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SlotKeys.h"

#include <QHash>
#include <QList>
#include <QObject>

class KeyRepeatGuard;
class QShortcut;
class QWidget;

/// The window's shortcuts for the keys: each slot's key plays its slot, and with Shift queues it;
/// a command's key runs its command; while the window is active and no dialog stands in front of it. A key
/// held down plays its slot once, whatever the window system repeats, and is released once when
/// it is let go of (a release the window system follows at once with a press is a repeat), or when
/// the window stops being the active one while it is held.
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
    /// The key of a plain press on `slot` was let go of.
    void released(SlotRef slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addCommand(const QKeySequence& key, KeyCommand command);

    QWidget* m_window;
    KeyRepeatGuard* m_repeats;
    QList<QShortcut*> m_shortcuts;
    QHash<int, SlotRef> m_held;  ///< by key code: the slot a plain press of it plays
    QHash<int, quint64> m_letGo; ///< by key code: a release waiting to see no repeat follow
    quint64 m_releases = 0;
};
