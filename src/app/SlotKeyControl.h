// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/SlotKeys.h"

#include <QHash>
#include <QKeySequence>
#include <QObject>

#include <functional>

class BoardSettings;
class Dialogs;
class SlotKeyShortcuts;
class QWidget;

/// The keys that play slots, as the operator gives and takes them: read from the settings,
/// made into the window's shortcuts, assigned through the key dialog (a key that plays another
/// slot moves only when the operator agrees), following their slots when sheets move, and
/// stored after every change.
class SlotKeyControl : public QObject {
    Q_OBJECT
public:
    SlotKeyControl(QWidget* window, BoardSettings& settings, Dialogs& dialogs);

    /// Reads the keys and makes their shortcuts; nothing is written.
    void load();
    [[nodiscard]] const SlotKeys& keys() const { return m_keys; }
    /// The key of a slot as the operator reads it; empty when it has none.
    [[nodiscard]] QString keyText(SlotRef slot) const;

    /// Asks for a key for `slot`. `menuKeys` are refused; `sheetName` names a sheet in the question.
    void assign(SlotRef slot, const QString& caption, const QHash<QKeySequence, QString>& menuKeys,
                const std::function<QString(int)>& sheetName);
    void clear(SlotRef slot);
    void sheetsExchanged(int sheetA, int sheetB);

Q_SIGNALS:
    /// A key was pressed: play (with Shift: queue) its slot.
    void pressed(SlotRef slot, bool shift);
    /// The keys changed and are stored.
    void changed();

private:
    void keysChanged();

    QWidget* m_window;
    BoardSettings& m_settings;
    Dialogs& m_dialogs;
    SlotKeys m_keys;
    SlotKeyShortcuts* m_shortcuts;
};
