// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QKeyEvent;

/// Tells a held key's repeats from the operator's presses. Qt marks a repeat only when the
/// window system says so or, on X11, when the release and the press that make up a repeat
/// are queued together; a press that arrives a moment after its release counts as new. Here a
/// key press (or its shortcut's override) that follows a release of the same key with the
/// same time stamp is a repeat too. Watches every key event of the application while it lives.
class KeyRepeatGuard : public QObject {
    Q_OBJECT
public:
    explicit KeyRepeatGuard(QObject* parent = nullptr);
    ~KeyRepeatGuard() override;

    /// The last press of `key` was a repeat of a key held down.
    [[nodiscard]] bool lastPressRepeated(int key) const;

    /// Takes note of one key event; true when it is a press that repeats.
    bool note(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
    int m_pressedKey = 0;
    bool m_pressRepeated = false;
};
