// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// mci/: the media control interface (this header): its entry points, the registry of
// device types, and the two devices: "cdaudio" with the disc reader and track catalog, and
// "waveaudio" with its wave file. The devices play and record through audio/ and use
// platform/ for errors and files; it knows no window.

// The media control interface: one synchronous command function that talks to
// devices by number, with the command, flag, item and format values and the
// parameter blocks its callers fill in. Devices ("cdaudio", "waveaudio")
// are registered by type name. Call it from the GUI thread only.

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

using MCIDEVICEID = quint32;
using MCIERROR = quint32;

/// Addresses every open device: MCI_STOP, MCI_PAUSE and MCI_CLOSE only; any other request
/// to it answers MCIERR_CANNOT_USE_ALL.
constexpr MCIDEVICEID MCI_ALL_DEVICE_ID = 0xFFFFFFFFu;

// Commands
constexpr quint32 MCI_OPEN = 0x0803;
constexpr quint32 MCI_CLOSE = 0x0804;
constexpr quint32 MCI_PLAY = 0x0806;
constexpr quint32 MCI_SEEK = 0x0807;
constexpr quint32 MCI_STOP = 0x0808;
constexpr quint32 MCI_PAUSE = 0x0809;
constexpr quint32 MCI_INFO = 0x080A;
constexpr quint32 MCI_GETDEVCAPS = 0x080B;
constexpr quint32 MCI_SET = 0x080D;
constexpr quint32 MCI_RECORD = 0x080F;
constexpr quint32 MCI_SAVE = 0x0813;
constexpr quint32 MCI_STATUS = 0x0814;
constexpr quint32 MCI_RESUME = 0x0855;

// Flags common to every command
constexpr quint32 MCI_NOTIFY = 0x00000001;
constexpr quint32 MCI_WAIT = 0x00000002;
constexpr quint32 MCI_FROM = 0x00000004;
constexpr quint32 MCI_TO = 0x00000008;
constexpr quint32 MCI_TRACK = 0x00000010;

// MCI_OPEN flags
constexpr quint32 MCI_OPEN_SHAREABLE = 0x00000100;
constexpr quint32 MCI_OPEN_ELEMENT = 0x00000200;
constexpr quint32 MCI_OPEN_ALIAS = 0x00000400;
constexpr quint32 MCI_OPEN_TYPE = 0x00002000;

// MCI_SEEK flags
constexpr quint32 MCI_SEEK_TO_START = 0x00000100;
constexpr quint32 MCI_SEEK_TO_END = 0x00000200;

// MCI_STATUS flags and items
constexpr quint32 MCI_STATUS_ITEM = 0x00000100;
constexpr quint32 MCI_STATUS_START = 0x00000200;
constexpr quint32 MCI_STATUS_LENGTH = 1;
constexpr quint32 MCI_STATUS_POSITION = 2;
constexpr quint32 MCI_STATUS_NUMBER_OF_TRACKS = 3;
constexpr quint32 MCI_STATUS_MODE = 4;
constexpr quint32 MCI_STATUS_MEDIA_PRESENT = 5;
constexpr quint32 MCI_STATUS_TIME_FORMAT = 6;
constexpr quint32 MCI_STATUS_READY = 7;
constexpr quint32 MCI_STATUS_CURRENT_TRACK = 8;
/// With MCI_TRACK: whether that track holds audio (MCI_CDA_TRACK_AUDIO) or data.
constexpr quint32 MCI_CDA_STATUS_TYPE_TRACK = 0x00004001;
constexpr quint32 MCI_CDA_TRACK_AUDIO = 1088;
constexpr quint32 MCI_CDA_TRACK_OTHER = 1089;
/// The "waveaudio" device's own item: blocks the sound server dropped from the recordings
/// since the wave was opened (each kept as silence of its length).
constexpr quint32 MCI_WAVE_STATUS_DROPPED_BLOCKS = 0x00004F01;

// Modes answered for MCI_STATUS_MODE
constexpr quint32 MCI_MODE_NOT_READY = 524;
constexpr quint32 MCI_MODE_STOP = 525;
constexpr quint32 MCI_MODE_PLAY = 526;
constexpr quint32 MCI_MODE_RECORD = 527;
constexpr quint32 MCI_MODE_SEEK = 528;
constexpr quint32 MCI_MODE_PAUSE = 529;
constexpr quint32 MCI_MODE_OPEN = 530;

// MCI_GETDEVCAPS flag and items; the answers are 1 (yes) or 0 (no) unless noted
constexpr quint32 MCI_GETDEVCAPS_ITEM = 0x00000100;
constexpr quint32 MCI_GETDEVCAPS_CAN_RECORD = 1;
constexpr quint32 MCI_GETDEVCAPS_HAS_AUDIO = 2;
constexpr quint32 MCI_GETDEVCAPS_HAS_VIDEO = 3;
/// Answers one of the MCI_DEVTYPE_* values.
constexpr quint32 MCI_GETDEVCAPS_DEVICE_TYPE = 4;
constexpr quint32 MCI_GETDEVCAPS_USES_FILES = 5;
constexpr quint32 MCI_GETDEVCAPS_COMPOUND_DEVICE = 6;
constexpr quint32 MCI_GETDEVCAPS_CAN_EJECT = 7;
constexpr quint32 MCI_GETDEVCAPS_CAN_PLAY = 8;
constexpr quint32 MCI_GETDEVCAPS_CAN_SAVE = 9;
constexpr quint32 MCI_DEVTYPE_CD_AUDIO = 516;
constexpr quint32 MCI_DEVTYPE_WAVEFORM_AUDIO = 522;

// MCI_SET flags
constexpr quint32 MCI_SET_DOOR_OPEN = 0x00000100;
constexpr quint32 MCI_SET_DOOR_CLOSED = 0x00000200;
constexpr quint32 MCI_SET_TIME_FORMAT = 0x00000400;

// Time formats
constexpr quint32 MCI_FORMAT_MILLISECONDS = 0;
constexpr quint32 MCI_FORMAT_MSF = 2;
constexpr quint32 MCI_FORMAT_TMSF = 10;

// MCI_RECORD and MCI_SAVE flags
constexpr quint32 MCI_RECORD_INSERT = 0x00000100;
constexpr quint32 MCI_RECORD_OVERWRITE = 0x00000200;
constexpr quint32 MCI_SAVE_FILE = 0x00000100;

// Parameter blocks. Strings are NUL-terminated UTF-8.
struct MCI_GENERIC_PARMS {
    quintptr dwCallback = 0;
};

struct MCI_OPEN_PARMS {
    quintptr dwCallback = 0;
    MCIDEVICEID wDeviceID = 0;
    const char* lpstrDeviceType = nullptr;
    const char* lpstrElementName = nullptr;
    const char* lpstrAlias = nullptr;
};

struct MCI_PLAY_PARMS {
    quintptr dwCallback = 0;
    quint32 dwFrom = 0;
    quint32 dwTo = 0;
};

struct MCI_SEEK_PARMS {
    quintptr dwCallback = 0;
    quint32 dwTo = 0;
};

struct MCI_STATUS_PARMS {
    quintptr dwCallback = 0;
    quint32 dwReturn = 0;
    quint32 dwItem = 0;
    quint32 dwTrack = 0;
};

struct MCI_SET_PARMS {
    quintptr dwCallback = 0;
    quint32 dwTimeFormat = 0;
    quint32 dwAudio = 0;
};

struct MCI_GETDEVCAPS_PARMS {
    quintptr dwCallback = 0;
    quint32 dwReturn = 0;
    quint32 dwItem = 0;
};

struct MCI_RECORD_PARMS {
    quintptr dwCallback = 0;
    quint32 dwFrom = 0;
    quint32 dwTo = 0;
};

struct MCI_SAVE_PARMS {
    quintptr dwCallback = 0;
    const char* lpfilename = nullptr;
};

// TMSF positions: track in the lowest byte, then minutes, seconds, frames (75 a second).
constexpr quint32 MCI_MAKE_TMSF(quint8 t, quint8 m, quint8 s, quint8 f)
{
    return quint32(t) | (quint32(m) << 8) | (quint32(s) << 16) | (quint32(f) << 24);
}
constexpr quint8 MCI_TMSF_TRACK(quint32 tmsf)
{
    return quint8(tmsf & 0xFF);
}
constexpr quint8 MCI_TMSF_MINUTE(quint32 tmsf)
{
    return quint8((tmsf >> 8) & 0xFF);
}
constexpr quint8 MCI_TMSF_SECOND(quint32 tmsf)
{
    return quint8((tmsf >> 16) & 0xFF);
}
constexpr quint8 MCI_TMSF_FRAME(quint32 tmsf)
{
    return quint8((tmsf >> 24) & 0xFF);
}

// MSF positions (minutes in the lowest byte) from the very start of the disc.
constexpr quint32 MCI_MAKE_MSF(quint8 m, quint8 s, quint8 f)
{
    return quint32(m) | (quint32(s) << 8) | (quint32(f) << 16);
}
constexpr quint8 MCI_MSF_MINUTE(quint32 msf)
{
    return quint8(msf & 0xFF);
}
constexpr quint8 MCI_MSF_SECOND(quint32 msf)
{
    return quint8((msf >> 8) & 0xFF);
}
constexpr quint8 MCI_MSF_FRAME(quint32 msf)
{
    return quint8((msf >> 16) & 0xFF);
}

// Error codes (0 is success). mciGetErrorStringA gives the operator's text.
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_DEVICE_OPEN = MCIERR_BASE + 9;
constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 10;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 20;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 21;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 22;
constexpr MCIERROR MCIERR_CANNOT_USE_ALL = MCIERR_BASE + 23;
constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
constexpr MCIERROR MCIERR_MUST_USE_SHAREABLE = MCIERR_BASE + 45;
constexpr MCIERROR MCIERR_MISSING_DEVICE_NAME = MCIERR_BASE + 46;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 74;
constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
constexpr MCIERROR MCIERR_FILE_WRITE = MCIERR_BASE + 93;
constexpr MCIERROR MCIERR_NO_AUDIO_OUTPUT = MCIERR_BASE + 94;
constexpr MCIERROR MCIERR_NO_AUDIO_INPUT = MCIERR_BASE + 95;
// Errors of the CD device
constexpr MCIERROR MCIERR_CD_NO_DISC = MCIERR_BASE + 120;
constexpr MCIERROR MCIERR_CD_NO_DRIVE = MCIERR_BASE + 121;
constexpr MCIERROR MCIERR_CD_SOURCE_MISSING = MCIERR_BASE + 122;
constexpr MCIERROR MCIERR_CD_IMAGE_UNREADABLE = MCIERR_BASE + 123;
constexpr MCIERROR MCIERR_CD_NO_SUCH_TRACK = MCIERR_BASE + 124;
constexpr MCIERROR MCIERR_CD_NOT_AUDIO = MCIERR_BASE + 125;
constexpr MCIERROR MCIERR_CD_READ = MCIERR_BASE + 126;
constexpr MCIERROR MCIERR_CD_NO_EJECT = MCIERR_BASE + 127;
constexpr MCIERROR MCIERR_CD_TRACK_CUT_SHORT = MCIERR_BASE + 128;
/// Device types may register texts of their own from here on (Mci::registerErrorText).
constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = MCIERR_BASE + 256;

/// Sends `command` with `flags` and the command's parameter block (or nullptr) to the device
/// `deviceId`; MCI_OPEN goes to device 0 and returns the new id in MCI_OPEN_PARMS::wDeviceID.
/// Returns 0 or an MCIERR_* code.
MCIERROR mciSendCommandA(MCIDEVICEID deviceId, quint32 command, quint32 flags, void* parms);

/// Copies the text of `error` (NUL-terminated, cut to `size`) into `buffer`. Returns false for
/// a code the interface does not know; the buffer then holds a generic text.
bool mciGetErrorStringA(MCIERROR error, char* buffer, quint32 size);

/// One open device. The dispatcher creates it through its type's factory, hands it the open
/// request, and routes every later request with its id to `command`.
class MciDevice {
public:
    virtual ~MciDevice() = default;
    /// The open request; `parms.wDeviceID` already holds the id the device will get.
    virtual MCIERROR open(quint32 flags, MCI_OPEN_PARMS& parms) = 0;
    /// Every later request, MCI_CLOSE included; the device is destroyed after MCI_CLOSE
    /// whatever it answered. `parms` is the command's block or nullptr.
    virtual MCIERROR command(quint32 command, quint32 flags, void* parms) = 0;
};

using MciDeviceFactory = std::function<std::unique_ptr<MciDevice>()>;

namespace Mci {

/// How instances of a device type relate to each other.
enum class Sharing {
    /// Each open has a medium of its own (a wave file): any number may be open.
    PerOpen,
    /// Every open drives the same medium (the CD drive): a second open needs
    /// MCI_OPEN_SHAREABLE on both opens, or it fails with MCIERR_MUST_USE_SHAREABLE.
    OneMedium,
};

/// Makes `type` (compared without regard to case) openable; replaces an earlier factory.
void registerDeviceType(const QString& type, MciDeviceFactory factory, Sharing sharing = Sharing::PerOpen);
void unregisterDeviceType(const QString& type);

/// Text for a device type's own error code (at or above MCIERR_CUSTOM_DRIVER_BASE).
void registerErrorText(MCIERROR error, const QString& text);

/// Ids of the open devices, ascending.
[[nodiscard]] QList<MCIDEVICEID> openDevices();

/// Destroys every open device without requests, forgets every device type and error text
/// registered, and starts the ids again at 1. For tests and the end of the program.
void reset();

/// The operator's text for `error` (what mciGetErrorStringA copies).
[[nodiscard]] QString errorText(MCIERROR error);

} // namespace Mci
