// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeyControl.h"

#include "app/BoardSettings.h"
#include "app/SlotKeyShortcuts.h"
#include "app/frmAssignKey.h"
#include "platform/Dialogs.h"

#include <QWidget>

SlotKeyControl::SlotKeyControl(QWidget* window, BoardSettings& settings, Dialogs& dialogs)
    : QObject(window)
    , m_window(window)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_shortcuts(new SlotKeyShortcuts(window))
{
    connect(m_shortcuts, &SlotKeyShortcuts::pressed, this, &SlotKeyControl::pressed);
}

void SlotKeyControl::load()
{
    m_settings.loadKeys(m_keys);
    // The shortcuts come first: a settings file that cannot be written must not cost the keys.
    m_shortcuts->setKeys(m_keys);
}

QString SlotKeyControl::keyText(SlotRef slot) const
{
    return m_keys.keyOf(slot).toString(QKeySequence::NativeText);
}

void SlotKeyControl::assign(SlotRef slot, const QString& caption,
                            const QHash<QKeySequence, QString>& menuKeys,
                            const std::function<QString(int)>& sheetName)
{
    TfrmAssignKey dialog(m_window, caption, menuKeys);
    if (dialog.exec() != QDialog::Accepted || dialog.key().isEmpty())
        return;
    const QKeySequence key = dialog.key();
    const auto owner = m_keys.slotOf(key);
    if (owner == slot)
        return;
    if (owner) {
        const QString question =
            QStringLiteral("%1 already plays button %2 of \"%3\". Move it to this button?")
                .arg(key.toString(QKeySequence::NativeText))
                .arg(owner->slot + 1)
                .arg(sheetName(owner->sheet));
        if (m_dialogs.messageBox(m_window, question, Dialogs::Style::Confirmation, Dialogs::Buttons::YesNo) !=
            Dialogs::Answer::Yes)
            return;
    }
    m_keys.bind(key, slot);
    keysChanged();
}

void SlotKeyControl::clear(SlotRef slot)
{
    if (m_keys.clearSlot(slot))
        keysChanged();
}

void SlotKeyControl::sheetsExchanged(int sheetA, int sheetB)
{
    m_keys.exchangeSheets(sheetA, sheetB);
    keysChanged();
}

void SlotKeyControl::keysChanged()
{
    m_shortcuts->setKeys(m_keys);
    Q_EMIT changed();
    m_settings.saveKeys(m_keys);
}
