// SPDX-License-Identifier: GPL-3.0-or-later
#include "MciInterface.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

namespace {

struct DeviceType {
    MciDeviceFactory factory;
    Mci::Sharing sharing = Mci::Sharing::PerOpen;
};

struct OpenDevice {
    std::unique_ptr<MciDevice> device;
    QString type;
    bool shareable = false;
};

struct Dispatcher {
    QHash<QString, DeviceType> types;
    std::map<MCIDEVICEID, OpenDevice> open;
    QHash<MCIERROR, QString> customTexts;
    MCIDEVICEID nextId = 1;
};

Dispatcher& dispatcher()
{
    static Dispatcher d;
    return d;
}

QString typeKey(const QString& type)
{
    return type.trimmed().toLower();
}

/// The device may throw (out of memory, a fault of its own); the caller only ever sees a code.
template <typename F> MCIERROR shielded(F&& f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return MCIERR_OUT_OF_MEMORY;
    } catch (...) {
        return MCIERR_INTERNAL;
    }
}

MCIERROR openDevice(quint32 flags, MCI_OPEN_PARMS* parms)
{
    if (!parms)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & MCI_OPEN_TYPE) || !parms->lpstrDeviceType || !*parms->lpstrDeviceType)
        return MCIERR_MISSING_DEVICE_NAME;

    Dispatcher& d = dispatcher();
    const QString type = typeKey(QString::fromUtf8(parms->lpstrDeviceType));
    const auto it = d.types.constFind(type);
    if (it == d.types.constEnd())
        return MCIERR_INVALID_DEVICE_NAME;

    const bool shareable = flags & MCI_OPEN_SHAREABLE;
    if (it->sharing == Mci::Sharing::OneMedium) {
        for (const auto& [id, entry] : d.open) {
            if (entry.type == type && !(shareable && entry.shareable))
                return MCIERR_MUST_USE_SHAREABLE;
        }
    }

    const MciDeviceFactory factory = it->factory;
    const MCIDEVICEID id = d.nextId;
    return shielded([&]() -> MCIERROR {
        std::unique_ptr<MciDevice> device = factory();
        if (!device)
            return MCIERR_INVALID_DEVICE_NAME;
        parms->wDeviceID = id;
        const MCIERROR result = device->open(flags, *parms);
        if (result != 0) {
            parms->wDeviceID = 0;
            return result;
        }
        Dispatcher& dd = dispatcher();
        dd.nextId = id + 1;
        if (dd.nextId == MCI_ALL_DEVICE_ID || dd.nextId == 0)
            dd.nextId = 1;
        dd.open[id] = OpenDevice{std::move(device), type, shareable};
        return MCIERROR(0);
    });
}

MCIERROR sendToOne(MCIDEVICEID id, quint32 command, quint32 flags, void* parms)
{
    Dispatcher& d = dispatcher();
    const auto it = d.open.find(id);
    if (it == d.open.end())
        return MCIERR_INVALID_DEVICE_ID;
    MciDevice* device = it->second.device.get();
    const MCIERROR result = shielded([&] { return device->command(command, flags, parms); });
    if (command == MCI_CLOSE) {
        // Looked up again: the device may have sent requests of its own meanwhile.
        const auto again = d.open.find(id);
        if (again != d.open.end()) {
            std::unique_ptr<MciDevice> closing = std::move(again->second.device);
            d.open.erase(again);
            shielded([&] {
                closing.reset();
                return MCIERROR(0);
            });
        }
    }
    return result;
}

/// Only requests that quieten or release devices may go to all of them at once: a play or
/// seek in one device's time format means something else to another.
bool allowedForAll(quint32 command)
{
    return command == MCI_CLOSE || command == MCI_STOP || command == MCI_PAUSE;
}

} // namespace

MCIERROR mciSendCommandA(MCIDEVICEID deviceId, quint32 command, quint32 flags, void* parms)
{
    // There are no window messages to deliver a completion notice with.
    if (flags & MCI_NOTIFY)
        return MCIERR_UNSUPPORTED_FUNCTION;
    if (command == MCI_OPEN)
        return openDevice(flags, static_cast<MCI_OPEN_PARMS*>(parms));
    if (deviceId != MCI_ALL_DEVICE_ID)
        return sendToOne(deviceId, command, flags, parms);

    if (!allowedForAll(command))
        return MCIERR_CANNOT_USE_ALL;
    MCIERROR first = 0;
    for (const MCIDEVICEID id : Mci::openDevices()) {
        const MCIERROR result = sendToOne(id, command, flags, parms);
        if (first == 0 && result != MCIERR_INVALID_DEVICE_ID)
            first = result;
    }
    return first;
}

bool mciGetErrorStringA(MCIERROR error, char* buffer, quint32 size)
{
    if (!buffer || size == 0)
        return false;
    const QString text = Mci::errorText(error);
    const bool known = !text.isEmpty();
    const QByteArray bytes =
        known ? text.toUtf8()
              : QStringLiteral("The device reported an unknown error (%1)").arg(error).toUtf8();
    const auto n = std::min<qsizetype>(bytes.size(), qsizetype(size) - 1);
    std::memcpy(buffer, bytes.constData(), size_t(n));
    buffer[n] = '\0';
    return known;
}

namespace Mci {

void registerDeviceType(const QString& type, MciDeviceFactory factory, Sharing sharing)
{
    dispatcher().types.insert(typeKey(type), DeviceType{std::move(factory), sharing});
}

void unregisterDeviceType(const QString& type)
{
    dispatcher().types.remove(typeKey(type));
}

void registerErrorText(MCIERROR error, const QString& text)
{
    dispatcher().customTexts.insert(error, text);
}

QList<MCIDEVICEID> openDevices()
{
    QList<MCIDEVICEID> ids;
    for (const auto& [id, entry] : dispatcher().open)
        ids << id;
    return ids;
}

void reset()
{
    Dispatcher& d = dispatcher();
    std::map<MCIDEVICEID, OpenDevice> closing;
    closing.swap(d.open);
    closing.clear();
    d.types.clear();
    d.customTexts.clear();
    d.nextId = 1;
}

QString errorText(MCIERROR error)
{
    switch (error) {
    case 0:
        return QStringLiteral("The request succeeded");
    case MCIERR_INVALID_DEVICE_ID:
        return QStringLiteral("The device is not open");
    case MCIERR_UNRECOGNIZED_COMMAND:
        return QStringLiteral("The device does not understand this request");
    case MCIERR_HARDWARE:
        return QStringLiteral("The device reported a hardware fault");
    case MCIERR_INVALID_DEVICE_NAME:
        return QStringLiteral("No device of the requested type is installed");
    case MCIERR_OUT_OF_MEMORY:
        return QStringLiteral("There is not enough memory for this request");
    case MCIERR_DEVICE_OPEN:
        return QStringLiteral("The device is already open under this name");
    case MCIERR_INTERNAL:
        return QStringLiteral("The device failed inside while handling the request");
    case MCIERR_UNSUPPORTED_FUNCTION:
        return QStringLiteral("The device cannot do this");
    case MCIERR_MISSING_PARAMETER:
        return QStringLiteral("The request lacks a value the device needs");
    case MCIERR_FLAGS_NOT_COMPATIBLE:
        return QStringLiteral("The request's options contradict each other");
    case MCIERR_FILE_NOT_FOUND:
        return QStringLiteral("The file was not found");
    case MCIERR_DEVICE_NOT_READY:
        return QStringLiteral("The device is not ready");
    case MCIERR_CANNOT_USE_ALL:
        return QStringLiteral("This request cannot be sent to all devices at once");
    case MCIERR_OUTOFRANGE:
        return QStringLiteral("The position lies outside the medium");
    case MCIERR_BAD_TIME_FORMAT:
        return QStringLiteral("The device does not support this time format");
    case MCIERR_INVALID_FILE:
        return QStringLiteral("The file is not in a format the device can play");
    case MCIERR_MUST_USE_SHAREABLE:
        return QStringLiteral("The device is already in use; open it as shareable");
    case MCIERR_MISSING_DEVICE_NAME:
        return QStringLiteral("The open request names no device type");
    case MCIERR_NULL_PARAMETER_BLOCK:
        return QStringLiteral("The request came without its parameter block");
    case MCIERR_FILE_READ:
        return QStringLiteral("The file cannot be read");
    case MCIERR_FILE_WRITE:
        return QStringLiteral("The file cannot be written");
    case MCIERR_NO_AUDIO_OUTPUT:
        return QStringLiteral("The sound output cannot be opened");
    case MCIERR_NO_AUDIO_INPUT:
        return QStringLiteral("The sound input cannot be opened");
    case MCIERR_CD_NO_DISC:
        return QStringLiteral("The CD drive holds no disc");
    case MCIERR_CD_NO_DRIVE:
        return QStringLiteral("No CD drive was found");
    case MCIERR_CD_SOURCE_MISSING:
        return QStringLiteral("The CD drive or disc image named by SONAVEX_CDAUDIO does not exist");
    case MCIERR_CD_IMAGE_UNREADABLE:
        return QStringLiteral("The CD disc image cannot be read");
    case MCIERR_CD_NO_SUCH_TRACK:
        return QStringLiteral("The specified track is not on the disc");
    case MCIERR_CD_NOT_AUDIO:
        return QStringLiteral("The specified track holds data, not audio");
    case MCIERR_CD_READ:
        return QStringLiteral("The disc cannot be read");
    case MCIERR_CD_NO_EJECT:
        return QStringLiteral("The CD drive cannot open or close its tray");
    case MCIERR_CD_TRACK_CUT_SHORT:
        return QStringLiteral(
            "The disc cannot be read to the end of the track; it was stopped where reading failed");
    default:
        return dispatcher().customTexts.value(error);
    }
}

} // namespace Mci
