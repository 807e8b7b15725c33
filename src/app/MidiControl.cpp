// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiControl.h"

#include "app/frmMidiInput.h"
#include "core/ShowCore.h"
#include "midi/ControllerProfile.h"
#include "midi/MidiDevices.h"
#include "midi/MidiRemote.h"
#include "platform/Guard.h"
#include "platform/Registry.h"

#include <QScopeGuard>

namespace {
const QString BoardKey = QStringLiteral("\\Software\\Brasswold");
}

MidiControl::MidiControl(ShowCore* show, Board& board, Registry& registry, QObject* parent)
    : QObject(parent)
    , m_show(show)
    , m_registry(registry)
    , m_remote(std::make_unique<MidiRemote>(board))
{
    m_devices = std::make_unique<MidiDevices>(board, *m_remote, QList<ControllerProfile>{});
    connectGuarded(m_devices.get(), &MidiDevices::news, this, &MidiControl::say);
}

MidiControl::~MidiControl()
{
    m_devices.reset(); // the pads go dark while the board is still there
}

void MidiControl::start()
{
    QStringList notes;
    QStringList problems;
    m_devices->setProfiles(ControllerProfile::loadAll(ControllerProfile::folders(), &problems));
    if (!problems.isEmpty())
        notes << QStringLiteral("Controller files that could not be read: %1")
                     .arg(problems.join(QStringLiteral("; ")));
    QStringList bad;
    {
        m_registry.OpenKey(BoardKey, true);
        const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
        m_remote->assignments().load(m_registry);
        bad = m_remote->assignments().unreadable();
    }
    {
        m_registry.OpenKey(BoardKey, true);
        const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
        m_input.load(m_registry, &bad);
    }
    m_remote->setInputChannel(m_input.channel);
    m_devices->setFilter(m_input);
    if (!bad.isEmpty()) {
        const QString text =
            QStringLiteral("MIDI assignments that could not be read are kept as they are: %1")
                .arg(bad.join(QStringLiteral("; ")));
        notes << text;
        say(text);
    }
    m_aboutNote = notes.join(QLatin1Char('\n'));
    m_devices->start(MidiDevices::Api::Automatic, &m_offNote);
}

QString MidiControl::aboutNote() const
{
    if (m_devices->running() || m_offNote.isEmpty())
        return m_aboutNote;
    return m_aboutNote.isEmpty() ? m_offNote : m_aboutNote + QLatin1Char('\n') + m_offNote;
}

MidiTarget MidiControl::targetFor(const KeyTarget& target, bool queue)
{
    if (const auto* slot = std::get_if<SlotRef>(&target))
        return MidiSlot{slot->sheet, slot->slot, queue};
    switch (std::get<KeyCommand>(target)) {
    case KeyCommand::Play:
        return MidiCommand::Play;
    case KeyCommand::StopSong:
        return MidiCommand::Stop;
    case KeyCommand::StopAll:
        return MidiCommand::StopAll;
    case KeyCommand::Pause:
        return MidiCommand::Pause;
    case KeyCommand::Fade:
    case KeyCommand::Audition: // no pad switches it: the keys list offers none
        break;
    case KeyCommand::NextSheet:
        return MidiCommand::NextSheet;
    case KeyCommand::PrevSheet:
        return MidiCommand::PrevSheet;
    case KeyCommand::ShowView:
    case KeyCommand::MasterDown:
        break; // never asked: the window's own, no MIDI message runs it
    case KeyCommand::FadeAll:
        return MidiCommand::FadeAll;
    case KeyCommand::MasterUp:
        return MidiCommand::Master; // a fader: its control sets the master level
    }
    return MidiCommand::Fade;
}

bool MidiControl::takesMidi(const KeyTarget& target)
{
    // No pad switches Audition (it is for the operator's own hands) or the view. The master
    // level takes one fader, on Master Up's line.
    return target != KeyTarget(KeyCommand::ShowView) && target != KeyTarget(KeyCommand::Audition) &&
           target != KeyTarget(KeyCommand::MasterDown);
}

QString MidiControl::midiText(const KeyTarget& target) const
{
    const auto text = [](const MidiMessageId& m) {
        return QStringLiteral("%1 %2 ch %3")
            .arg(m.kind == MidiMessageId::Kind::Note ? QStringLiteral("Note") : QStringLiteral("Control"))
            .arg(m.number)
            .arg(m.channel);
    };
    if (!takesMidi(target))
        return {};
    const MidiAssignments& a = m_remote->assignments();
    QStringList parts;
    if (const auto plain = a.messageOf(targetFor(target)))
        parts << text(*plain);
    if (std::holds_alternative<SlotRef>(target))
        if (const auto queue = a.messageOf(targetFor(target, true)))
            parts << QStringLiteral("Shift: ") + text(*queue);
    return parts.join(QStringLiteral(", "));
}

QList<SlotRef> MidiControl::assignedSlots() const
{
    QList<SlotRef> slots;
    const MidiAssignments& a = m_remote->assignments();
    for (const MidiMessageId& m : a.messages()) {
        const auto target = a.targetOf(m);
        if (const auto* slot = target ? std::get_if<MidiSlot>(&*target) : nullptr)
            if (!slots.contains(SlotRef{slot->sheet, slot->slot}))
                slots << SlotRef{slot->sheet, slot->slot};
    }
    return slots;
}

QString MidiControl::useOf(const MidiMessageId& message, const std::function<QString(int)>& sheetName) const
{
    const auto target = m_remote->assignments().targetOf(message);
    if (!target)
        return {};
    if (const auto* slot = std::get_if<MidiSlot>(&*target))
        return QStringLiteral("%1 button %2 of \"%3\"")
            .arg(slot->queue ? QStringLiteral("queues") : QStringLiteral("plays"))
            .arg(slot->slot + 1)
            .arg(sheetName(slot->sheet));
    static const char* const names[] = {"Play",       "Stop Song",      "Stop All", "Pause",       "Fade",
                                        "Next Sheet", "Previous Sheet", "Fade All", "Master Level"};
    if (std::get<MidiCommand>(*target) == MidiCommand::Master)
        return QStringLiteral("sets the master level");
    return QStringLiteral("runs %1").arg(
        QLatin1String(names[static_cast<int>(std::get<MidiCommand>(*target))]));
}

void MidiControl::learn(std::function<void(const MidiMessageId&)> learner)
{
    m_remote->learn(std::move(learner));
}

void MidiControl::stopLearning()
{
    m_remote->stopLearning();
}

void MidiControl::bind(const MidiMessageId& message, const MidiTarget& target)
{
    m_remote->assignments().bind(message, target);
    save();
}

void MidiControl::clear(const KeyTarget& target)
{
    if (!takesMidi(target))
        return;
    MidiAssignments& a = m_remote->assignments();
    const bool plain = a.clear(targetFor(target));
    const bool queue = std::holds_alternative<SlotRef>(target) && a.clear(targetFor(target, true));
    if (plain || queue)
        save();
}

void MidiControl::exchangeSheets(int a, int b)
{
    m_remote->assignments().exchangeSheets(a, b);
    save();
}

void MidiControl::setInput(const MidiInputFilter& input)
{
    m_input = input;
    m_remote->setInputChannel(input.channel);
    m_devices->setFilter(input);
    m_registry.OpenKey(BoardKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_input.save(m_registry);
}

void MidiControl::editInput(QWidget* owner)
{
    QStringList devices;
    for (const QString& port : m_devices->inputs())
        if (const QString d = MidiInputFilter::deviceOf(port); !devices.contains(d))
            devices << d;
    TfrmMidiInput dialog(owner, m_input, devices);
    if (dialog.exec() == QDialog::Accepted && dialog.input() != m_input)
        setInput(dialog.input());
}

void MidiControl::save()
{
    m_devices->assignmentsChanged();
    m_registry.OpenKey(BoardKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    m_remote->assignments().save(m_registry);
}

void MidiControl::say(const QString& text)
{
    if (m_show)
        m_show->sayNews(News, text);
    Q_EMIT news(text);
}
