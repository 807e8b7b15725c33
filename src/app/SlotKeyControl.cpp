// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotKeyControl.h"

#include "app/BoardKeyboard.h"
#include "app/KeyListRows.h"
#include "app/MidiControl.h"
#include "app/SlotKeyShortcuts.h"
#include "app/frmAssignKey.h"
#include "app/frmKeys.h"
#include "core/BoardSettings.h"
#include "midi/MidiRemote.h"
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
    connect(m_shortcuts, &SlotKeyShortcuts::commandPressed, this, &SlotKeyControl::commandPressed);
    connect(m_shortcuts, &SlotKeyShortcuts::released, this, &SlotKeyControl::released);
}

void SlotKeyControl::load()
{
    m_settings.loadKeys(m_keys);
    // The shortcuts come first: a settings file that cannot be written must not cost the keys.
    m_shortcuts->setKeys(m_keys);
}

QString SlotKeyControl::keyText(const KeyTarget& target) const
{
    return m_keys.keyOf(target).toString(QKeySequence::NativeText);
}

void SlotKeyControl::assign(const KeyTarget& target, const QString& caption)
{
    assign(target, caption, reservedKeys(), m_names.sheet);
}

QHash<QKeySequence, QString> SlotKeyControl::reservedKeys() const
{
    QHash<QKeySequence, QString> reserved;
    const QHash<QKeySequence, QString> menus =
        m_names.menuKeys ? m_names.menuKeys() : QHash<QKeySequence, QString>();
    for (auto it = menus.cbegin(); it != menus.cend(); ++it)
        reserved.insert(it.key(), QStringLiteral("the menu (%1)").arg(it.value()));
    const QHash<QKeySequence, QString> own = BoardKeyboard::ownKeys();
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        if (!reserved.contains(it.key()))
            reserved.insert(it.key(), QStringLiteral("the board (%1)").arg(it.value()));
    return reserved;
}

QList<QKeySequence> SlotKeyControl::takenKeys() const
{
    QList<QKeySequence> taken;
    for (const QKeySequence& key : m_keys.keys()) {
        taken << key;
        if (m_keys.slotOf(key)) // Shift with a slot's key queues it
            taken << QKeySequence(
                QKeyCombination(key[0].keyboardModifiers() | Qt::ShiftModifier, key[0].key()));
    }
    return taken;
}

QList<KeyListRow> SlotKeyControl::listRows() const
{
    return KeyListRows::build(*this, m_midi, m_names.sheet, m_names.title,
                              m_names.menuItemKeys ? m_names.menuItemKeys()
                                                   : QList<std::pair<QKeySequence, QString>>());
}

void SlotKeyControl::showList(QWidget* owner)
{
    TfrmKeys list(owner, m_dialogs,
                  {[this] { return listRows(); },
                   [this](const KeyTarget& target) {
                       if (const auto* slot = std::get_if<SlotRef>(&target))
                           assign(*slot, m_names.title(slot->sheet, slot->slot));
                       else
                           assign(target, SlotKeys::commandName(std::get<KeyCommand>(target)));
                   },
                   [this](const KeyTarget& target) { clear(target); },
                   m_midi ? std::function<void()>([this, owner] { m_midi->editInput(owner); }) : nullptr});
    list.exec();
}

void SlotKeyControl::assign(const KeyTarget& target, const QString& caption,
                            const QHash<QKeySequence, QString>& reserved,
                            const std::function<QString(int)>& sheetName)
{
    const bool forSlot = std::holds_alternative<SlotRef>(target);
    TfrmAssignKey dialog(
        m_window,
        forSlot
            ? QStringLiteral("Press the key that plays \"%1\".\nShift with the key queues it.").arg(caption)
            : QStringLiteral("Press the key for %1.").arg(caption),
        reserved);
    const bool learnMidi = m_midi && MidiControl::takesMidi(target);
    if (learnMidi) {
        dialog.listenForMidi(forSlot);
        m_midi->learn([&dialog](const MidiMessageId& message) { dialog.offerMidi(message); });
    }
    const int answer = dialog.exec();
    if (learnMidi)
        m_midi->stopLearning();
    if (answer != QDialog::Accepted)
        return;
    if (const auto midi = dialog.midi()) {
        assignMidi(*midi, MidiControl::targetFor(target, dialog.midiQueues()), forSlot ? QString() : caption,
                   sheetName);
        return;
    }
    if (dialog.key().isEmpty())
        return;
    const QKeySequence key = dialog.key();
    const auto owner = m_keys.targetOf(key);
    if (owner == target)
        return;
    // Space plays the queue only until the operator gives it to something else.
    const bool defaultKey = key == QKeySequence(Qt::Key_Space) && owner == KeyTarget(KeyCommand::Play);
    if (owner && !defaultKey) {
        const QString keyName = key.toString(QKeySequence::NativeText);
        const QString here = forSlot ? QStringLiteral("this button") : caption;
        QString question;
        if (const auto* slot = std::get_if<SlotRef>(&*owner))
            question = QStringLiteral("%1 already plays button %2 of \"%3\". Move it to %4?")
                           .arg(keyName)
                           .arg(slot->slot + 1)
                           .arg(sheetName(slot->sheet), here);
        else
            question = QStringLiteral("%1 is already the key for %2. Move it to %3?")
                           .arg(keyName, SlotKeys::commandName(std::get<KeyCommand>(*owner)), here);
        if (m_dialogs.messageBox(m_window, question, Dialogs::Style::Confirmation, Dialogs::Buttons::YesNo) !=
            Dialogs::Answer::Yes)
            return;
    }
    m_keys.bind(key, target);
    keysChanged();
}

void SlotKeyControl::assignMidi(const MidiMessageId& message, const MidiTarget& target,
                                const QString& caption, const std::function<QString(int)>& sheetName)
{
    const auto owner = m_midi->remote().assignments().targetOf(message);
    if (owner == target)
        return;
    if (owner) {
        const QString here = !caption.isEmpty()                 ? caption
                             : std::get<MidiSlot>(target).queue ? QStringLiteral("queue this button")
                                                                : QStringLiteral("this button");
        const QString question =
            QStringLiteral("%1 already %2. Move it to %3?")
                .arg(MidiAssignments::describe(message), m_midi->useOf(message, sheetName), here);
        if (m_dialogs.messageBox(m_window, question, Dialogs::Style::Confirmation, Dialogs::Buttons::YesNo) !=
            Dialogs::Answer::Yes)
            return;
    }
    m_midi->bind(message, target);
    Q_EMIT changed();
}

void SlotKeyControl::clear(const KeyTarget& target)
{
    if (m_midi)
        m_midi->clear(target);
    if (m_keys.clear(target))
        keysChanged();
}

void SlotKeyControl::sheetsExchanged(int sheetA, int sheetB)
{
    if (m_midi)
        m_midi->exchangeSheets(sheetA, sheetB);
    m_keys.exchangeSheets(sheetA, sheetB);
    keysChanged();
}

SlotKeyControl::SlotAssignments SlotKeyControl::slotAssignments(SlotRef slot) const
{
    SlotAssignments kept;
    kept.key = m_keys.keyOf(slot);
    if (m_midi) {
        const MidiAssignments& midi = m_midi->remote().assignments();
        kept.plain = midi.messageOf(MidiControl::targetFor(slot));
        kept.queue = midi.messageOf(MidiControl::targetFor(slot, true));
    }
    return kept;
}

void SlotKeyControl::restoreSlot(SlotRef slot, const SlotAssignments& kept)
{
    if (m_midi) {
        if (kept.plain)
            m_midi->bind(*kept.plain, MidiControl::targetFor(slot));
        if (kept.queue)
            m_midi->bind(*kept.queue, MidiControl::targetFor(slot, true));
    }
    if (!kept.key.isEmpty()) {
        m_keys.bind(kept.key, slot);
        keysChanged();
    }
}

void SlotKeyControl::keysChanged()
{
    m_shortcuts->setKeys(m_keys);
    Q_EMIT changed();
    m_settings.saveKeys(m_keys);
}
