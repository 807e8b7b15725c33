// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiControl.h"

#include "app/frmMain.h"
#include "midi/ControllerProfile.h"
#include "midi/MidiDevices.h"
#include "midi/MidiRemote.h"
#include "platform/Guard.h"
#include "platform/Registry.h"

#include <QScopeGuard>

namespace {
const QString BoardKey = QStringLiteral("\\Software\\Brasswold");
}

MidiControl::MidiControl(TMainForm* form, Board& board, Registry& registry, QObject* parent)
    : QObject(parent)
    , m_form(form)
    , m_registry(registry)
    , m_remote(std::make_unique<MidiRemote>(board))
{
    QStringList problems;
    auto profiles = ControllerProfile::loadAll(ControllerProfile::folders(), &problems);
    m_devices = std::make_unique<MidiDevices>(board, *m_remote, std::move(profiles));
    connectGuarded(m_devices.get(), &MidiDevices::news, this, &MidiControl::say);
    if (!problems.isEmpty())
        m_aboutNote = QStringLiteral("Controller files that could not be read: %1")
                          .arg(problems.join(QStringLiteral("; ")));
}

MidiControl::~MidiControl()
{
    m_devices.reset(); // the pads go dark while the board is still there
}

void MidiControl::start()
{
    {
        m_registry.OpenKey(BoardKey, true);
        const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
        m_remote->assignments().load(m_registry);
    }
    QStringList notes;
    if (!m_aboutNote.isEmpty())
        notes << m_aboutNote;
    if (const QStringList bad = m_remote->assignments().unreadable(); !bad.isEmpty()) {
        const QString text =
            QStringLiteral("MIDI assignments that could not be read are kept as they are: %1")
                .arg(bad.join(QStringLiteral("; ")));
        notes << text;
        say(text);
    }
    QString why;
    if (!m_devices->start(MidiDevices::Api::Automatic, &why))
        notes << why;
    m_aboutNote = notes.join(QLatin1Char('\n'));
}

MidiTarget MidiControl::targetFor(const KeyTarget& target)
{
    if (const auto* slot = std::get_if<SlotRef>(&target))
        return MidiSlot{slot->sheet, slot->slot};
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
        break;
    }
    return MidiCommand::Fade;
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
    static const char* const names[] = {"Play", "Stop Song",  "Stop All",      "Pause",
                                        "Fade", "Next Sheet", "Previous Sheet"};
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

void MidiControl::bind(const MidiMessageId& message, const KeyTarget& target)
{
    m_remote->assignments().bind(message, targetFor(target));
    save();
}

void MidiControl::clear(const KeyTarget& target)
{
    if (m_remote->assignments().clear(targetFor(target)))
        save();
}

void MidiControl::exchangeSheets(int a, int b)
{
    m_remote->assignments().exchangeSheets(a, b);
    save();
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
    if (m_form)
        m_form->sayNews(News, text);
    Q_EMIT news(text);
}
