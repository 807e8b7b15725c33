// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mci/MciInterface.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

/// Registers a device type (for its lifetime) whose devices log every request they get and
/// answer from a script. Without a script every request succeeds and every status or
/// capability answers 0.
class RecordingMciDevice {
public:
    struct Request {
        MCIDEVICEID deviceId = 0;
        quint32 command = 0;
        quint32 flags = 0;
        bool hasParms = false;
        /// Every field of the command's parameter block as the caller filled it
        /// ("dwFrom", "dwItem", "lpstrDeviceType", ...); strings as QString, null as invalid.
        QVariantMap fields;

        [[nodiscard]] quint32 field(const char* name) const
        {
            return fields.value(QLatin1String(name)).toUInt();
        }
        /// "STATUS 0x110 dwItem=4 ..." for failure messages.
        [[nodiscard]] QString text() const;
    };

    explicit RecordingMciDevice(const QString& type = QStringLiteral("cdaudio"),
                                Mci::Sharing sharing = Mci::Sharing::PerOpen);
    ~RecordingMciDevice();

    RecordingMciDevice(const RecordingMciDevice&) = delete;
    RecordingMciDevice& operator=(const RecordingMciDevice&) = delete;

    // ---- the script
    /// The next `times` requests of `command` (MCI_OPEN included) answer `error`.
    void failNext(quint32 command, MCIERROR error, int times = 1);
    /// Every request of `command` answers `error` until cleared with 0.
    void failAlways(quint32 command, MCIERROR error);
    /// The lasting answer of MCI_STATUS for `item`.
    void setStatus(quint32 item, quint32 value);
    /// Answers given, one per request, before the lasting answer of `item`.
    void queueStatus(quint32 item, const QList<quint32>& values);
    void setCapability(quint32 item, quint32 value);
    /// Runs before the script for each request after it was logged; a non-empty result is
    /// the answer. `parms` may be filled by it.
    std::function<std::optional<MCIERROR>(const Request&, void* parms)> handler;

    // ---- the log
    [[nodiscard]] const QList<Request>& requests() const;
    [[nodiscard]] QList<Request> requestsOf(quint32 command) const;
    /// The commands in the order they came, e.g. {MCI_STATUS, MCI_STOP, MCI_STATUS, MCI_CLOSE}.
    [[nodiscard]] QList<quint32> commands() const;
    void clearLog();

private:
    class Instance;
    struct Shared;
    QString m_type;
    std::shared_ptr<Shared> m;
};

[[nodiscard]] QString mciCommandName(quint32 command);
