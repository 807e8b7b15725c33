// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmAssignKey.h"

#include "core/SlotKeys.h"
#include "platform/Fonts.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

} // namespace

TfrmAssignKey::TfrmAssignKey(QWidget* owner, const QString& prompt, QHash<QKeySequence, QString> reserved)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_reserved(std::move(reserved))
{
    setWindowTitle(QStringLiteral("Assign Key"));
    setFont(Fonts::msSansSerif(11));
    setFixedSize(380, 170);
    auto* layout = new QVBoxLayout(this);
    lblPrompt = new QLabel(prompt, this);
    lblMessage = new QLabel(this);
    lblMessage->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0);"));
    lblMessage->setWordWrap(true);
    lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMessage->setFixedHeight(3 * lblMessage->fontMetrics().height()); // room for a refusal, not a new size
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setFocusPolicy(Qt::NoFocus); // every key belongs to the catch, Space and Enter too
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(lblPrompt);
    layout->addWidget(lblMessage);
    layout->addWidget(btnCancel, 0, Qt::AlignRight);
    setFocusPolicy(Qt::StrongFocus);
}

bool TfrmAssignKey::event(QEvent* event)
{
    // Caught before focus moves (Tab) or a default button answers (Enter), and before any shortcut.
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        event->accept();
        return true;
    case QEvent::KeyPress:
        keyCaught(static_cast<QKeyEvent*>(event));
        return true;
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Shift && !key->isAutoRepeat())
            m_shiftDown = false;
        if (key->key() == Qt::Key_Shift && m_onlyShift && !key->isAutoRepeat()) {
            m_onlyShift = false;
            lblMessage->setText(
                QStringLiteral("Shift alone cannot be a key: Shift with a key queues the song. "
                               "Press another key."));
        }
        return true;
    }
    default:
        return QDialog::event(event);
    }
}

void TfrmAssignKey::keyCaught(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    const int key = event->key();
    if (key == Qt::Key_Shift) {
        m_onlyShift = true;
        m_shiftDown = true;
        return;
    }
    m_onlyShift = false;
    if (isModifierKey(key))
        return; // Ctrl, Alt and the like wait for the key they come with
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::KeypadModifier);
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        reject();
        return;
    }
    offer(QKeySequence(QKeyCombination(mods, static_cast<Qt::Key>(key))));
}

void TfrmAssignKey::listenForMidi(bool forSlot)
{
    lblPrompt->setText(lblPrompt->text() +
                       QStringLiteral("\nOr play a note or move a control on a MIDI controller."));
    if (!forSlot) {
        setFixedSize(380, 190);
        return;
    }
    chkQueue = new QCheckBox(QStringLiteral("Queue (Shift+press): or hold Shift as you play the note"), this);
    chkQueue->setToolTip(QStringLiteral("The note then queues the song instead of playing it."));
    chkQueue->setFocusPolicy(Qt::NoFocus); // every key belongs to the catch
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, chkQueue);
    setFixedSize(380, 215);
}

void TfrmAssignKey::offerMidi(const MidiMessageId& message)
{
    m_key = QKeySequence();
    m_midi = message;
    m_midiQueues = chkQueue && (chkQueue->isChecked() || m_shiftDown);
    accept();
}

bool TfrmAssignKey::offer(const QKeySequence& key)
{
    const QKeySequence caught = SlotKeys::normalized(key);
    if (caught.isEmpty())
        return false;
    if (const auto use = m_reserved.constFind(caught); use != m_reserved.constEnd()) {
        lblMessage->setText(QStringLiteral("%1 belongs to %2. Press another key.")
                                .arg(caught.toString(QKeySequence::NativeText), use.value()));
        return false;
    }
    m_key = caught;
    accept();
    return true;
}
