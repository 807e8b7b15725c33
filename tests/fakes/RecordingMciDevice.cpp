// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingMciDevice.h"

#include <QStringList>

struct RecordingMciDevice::Shared {
    QList<Request> log;
    QHash<quint32, QList<MCIERROR>> failures;
    QHash<quint32, MCIERROR> lastingFailures;
    QHash<quint32, quint32> status;
    QHash<quint32, QList<quint32>> queuedStatus;
    QHash<quint32, quint32> capabilities;
    std::function<std::optional<MCIERROR>(const Request&, void*)>* handler = nullptr;

    MCIERROR scriptedFailure(quint32 command)
    {
        QList<MCIERROR>& next = failures[command];
        if (!next.isEmpty())
            return next.takeFirst();
        return lastingFailures.value(command);
    }
};

namespace {

QVariant text(const char* s)
{
    return s ? QVariant(QString::fromUtf8(s)) : QVariant();
}

QVariantMap fieldsOf(quint32 command, void* parms)
{
    QVariantMap f;
    const auto callback = [&](quintptr cb) { f.insert(QStringLiteral("dwCallback"), quint64(cb)); };
    switch (command) {
    case MCI_OPEN: {
        const auto* p = static_cast<MCI_OPEN_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("lpstrDeviceType"), text(p->lpstrDeviceType));
        f.insert(QStringLiteral("lpstrElementName"), text(p->lpstrElementName));
        f.insert(QStringLiteral("lpstrAlias"), text(p->lpstrAlias));
        break;
    }
    case MCI_PLAY:
    case MCI_RECORD: {
        const auto* p = static_cast<MCI_PLAY_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("dwFrom"), p->dwFrom);
        f.insert(QStringLiteral("dwTo"), p->dwTo);
        break;
    }
    case MCI_SEEK: {
        const auto* p = static_cast<MCI_SEEK_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("dwTo"), p->dwTo);
        break;
    }
    case MCI_STATUS: {
        const auto* p = static_cast<MCI_STATUS_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("dwItem"), p->dwItem);
        f.insert(QStringLiteral("dwTrack"), p->dwTrack);
        break;
    }
    case MCI_SET: {
        const auto* p = static_cast<MCI_SET_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("dwTimeFormat"), p->dwTimeFormat);
        f.insert(QStringLiteral("dwAudio"), p->dwAudio);
        break;
    }
    case MCI_GETDEVCAPS: {
        const auto* p = static_cast<MCI_GETDEVCAPS_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("dwItem"), p->dwItem);
        break;
    }
    case MCI_SAVE: {
        const auto* p = static_cast<MCI_SAVE_PARMS*>(parms);
        callback(p->dwCallback);
        f.insert(QStringLiteral("lpfilename"), text(p->lpfilename));
        break;
    }
    default:
        callback(static_cast<MCI_GENERIC_PARMS*>(parms)->dwCallback);
        break;
    }
    return f;
}

} // namespace

class RecordingMciDevice::Instance : public MciDevice {
public:
    explicit Instance(std::shared_ptr<Shared> shared)
        : m(std::move(shared))
    {
    }

    MCIERROR open(quint32 flags, MCI_OPEN_PARMS& parms) override
    {
        m_id = parms.wDeviceID;
        const Request& r = log(0, MCI_OPEN, flags, &parms);
        if (const auto answer = handled(r, &parms))
            return *answer;
        return m->scriptedFailure(MCI_OPEN);
    }

    MCIERROR command(quint32 command, quint32 flags, void* parms) override
    {
        const Request& r = log(m_id, command, flags, parms);
        if (const auto answer = handled(r, parms))
            return *answer;
        if (const MCIERROR e = m->scriptedFailure(command))
            return e;
        if (command == MCI_STATUS && parms) {
            auto* p = static_cast<MCI_STATUS_PARMS*>(parms);
            QList<quint32>& queued = m->queuedStatus[p->dwItem];
            p->dwReturn = queued.isEmpty() ? m->status.value(p->dwItem) : queued.takeFirst();
        } else if (command == MCI_GETDEVCAPS && parms) {
            auto* p = static_cast<MCI_GETDEVCAPS_PARMS*>(parms);
            p->dwReturn = m->capabilities.value(p->dwItem);
        }
        return 0;
    }

private:
    const Request& log(MCIDEVICEID id, quint32 command, quint32 flags, void* parms)
    {
        Request r;
        r.deviceId = id;
        r.command = command;
        r.flags = flags;
        r.hasParms = parms != nullptr;
        if (parms)
            r.fields = fieldsOf(command, parms);
        m->log.append(r);
        return m->log.constLast();
    }

    std::optional<MCIERROR> handled(const Request& r, void* parms)
    {
        if (m->handler && *m->handler)
            return (*m->handler)(Request(r), parms);
        return std::nullopt;
    }

    std::shared_ptr<Shared> m;
    MCIDEVICEID m_id = 0;
};

RecordingMciDevice::RecordingMciDevice(const QString& type, Mci::Sharing sharing)
    : m_type(type)
    , m(std::make_shared<Shared>())
{
    m->handler = &handler;
    Mci::registerDeviceType(
        type, [shared = m] { return std::make_unique<Instance>(shared); }, sharing);
}

RecordingMciDevice::~RecordingMciDevice()
{
    // Devices still open keep the log alive but no longer reach the handler.
    m->handler = nullptr;
    Mci::unregisterDeviceType(m_type);
}

void RecordingMciDevice::failNext(quint32 command, MCIERROR error, int times)
{
    for (int i = 0; i < times; ++i)
        m->failures[command].append(error);
}

void RecordingMciDevice::failAlways(quint32 command, MCIERROR error)
{
    m->lastingFailures[command] = error;
}

void RecordingMciDevice::setStatus(quint32 item, quint32 value)
{
    m->status[item] = value;
}

void RecordingMciDevice::queueStatus(quint32 item, const QList<quint32>& values)
{
    m->queuedStatus[item] << values;
}

void RecordingMciDevice::setCapability(quint32 item, quint32 value)
{
    m->capabilities[item] = value;
}

const QList<RecordingMciDevice::Request>& RecordingMciDevice::requests() const
{
    return m->log;
}

QList<RecordingMciDevice::Request> RecordingMciDevice::requestsOf(quint32 command) const
{
    QList<Request> found;
    for (const Request& r : m->log) {
        if (r.command == command)
            found << r;
    }
    return found;
}

QList<quint32> RecordingMciDevice::commands() const
{
    QList<quint32> found;
    for (const Request& r : m->log)
        found << r.command;
    return found;
}

void RecordingMciDevice::clearLog()
{
    m->log.clear();
}

QString RecordingMciDevice::Request::text() const
{
    QStringList parts{QStringLiteral("#%1").arg(deviceId), mciCommandName(command),
                      QStringLiteral("0x%1").arg(flags, 0, 16)};
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + it.value().toString();
    return parts.join(QLatin1Char(' '));
}

QString mciCommandName(quint32 command)
{
    switch (command) {
    case MCI_OPEN:
        return QStringLiteral("OPEN");
    case MCI_CLOSE:
        return QStringLiteral("CLOSE");
    case MCI_PLAY:
        return QStringLiteral("PLAY");
    case MCI_SEEK:
        return QStringLiteral("SEEK");
    case MCI_STOP:
        return QStringLiteral("STOP");
    case MCI_PAUSE:
        return QStringLiteral("PAUSE");
    case MCI_GETDEVCAPS:
        return QStringLiteral("GETDEVCAPS");
    case MCI_SET:
        return QStringLiteral("SET");
    case MCI_RECORD:
        return QStringLiteral("RECORD");
    case MCI_SAVE:
        return QStringLiteral("SAVE");
    case MCI_STATUS:
        return QStringLiteral("STATUS");
    case MCI_RESUME:
        return QStringLiteral("RESUME");
    default:
        return QString::number(command);
    }
}
