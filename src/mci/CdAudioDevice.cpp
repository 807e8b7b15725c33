// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdAudioDevice.h"

#include "CdDrive.h"
#include "CdPcmSource.h"
#include "DeviceRequests.h"
#include "audio/AudioOutput.h"
#include "platform/Errors.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

namespace {

using CdAudio::FramesPerSector;
using CdAudio::SectorsPerSecond;

constexpr qint32 SectorsPerMinute = 60 * SectorsPerSecond;
/// MSF addresses count the two seconds of lead-in before the first sector.
constexpr qint32 MsfLeadIn = 2 * SectorsPerSecond;

constexpr std::int64_t framesOf(qint32 sector)
{
    return std::int64_t(sector) * FramesPerSector;
}

constexpr qint32 sectorOf(std::int64_t frames)
{
    return qint32(frames / FramesPerSector);
}

/// Minutes, seconds, frames of a sector count, the minutes kept within a byte.
struct Msf {
    quint8 m, s, f;
};

Msf msfOf(qint32 sectors)
{
    sectors = std::max(sectors, 0);
    return Msf{quint8(std::min(sectors / SectorsPerMinute, 255)), quint8((sectors / SectorsPerSecond) % 60),
               quint8(sectors % SectorsPerSecond)};
}

using DeviceRequests::block;
using DeviceRequests::checkItemQuery;
using DeviceRequests::seekTarget;

} // namespace

struct CdAudioDevice::Impl {
    enum class Play { Stopped, Playing, Paused };

    Impl(AudioOutput& out, CdAudioDevice::ReaderFactory factory)
        : output(out)
        , openReader(std::move(factory))
    {
        if (!openReader) {
            openReader = [](const QString& where) -> std::shared_ptr<CdSectorReader> {
                CdDrive::OpenResult result{};
                return CdDrive::open(where, result);
            };
        }
    }

    ~Impl() { stopStream(); }

    AudioOutput& output;
    CdAudioDevice::ReaderFactory openReader;
    QString source;
    std::unique_ptr<CdDrive> drive;
    std::optional<CdToc> toc;
    quint32 timeFormat = MCI_FORMAT_MSF;

    Play play = Play::Stopped;
    std::int64_t position = 0; ///< frames from the start of the disc, while not playing
    std::shared_ptr<CdSectorReader> audioDrive;
    std::shared_ptr<CdPcmSource> pcm;
    /// The source started last, kept after a stop to know whether its reader still holds the drive.
    std::shared_ptr<CdPcmSource> lastPcm;
    std::unique_ptr<OutputStream> stream;
    /// The track ended early because the disc could not be read; the next mode query says so.
    bool readError = false;

    // ---- the disc

    void loadToc()
    {
        toc = drive->readToc();
        audioDrive.reset();
        position = toc ? framesOf(toc->start()) : 0;
    }

    /// Notices a disc that was changed, inserted or taken out while the device stood still.
    void refreshDisc()
    {
        if (play != Play::Stopped || drive->isImage())
            return;
        if (drive->mediaChanged()) {
            CdDrive::OpenResult result{};
            if (auto fresh = CdDrive::open(source, result))
                drive = std::move(fresh);
            loadToc();
        } else if (!toc) {
            loadToc();
        }
    }

    // ---- playing

    void stopStream()
    {
        stream.reset();
        if (pcm)
            pcm->cancel();
        pcm.reset();
    }

    [[nodiscard]] std::int64_t livePosition() const
    {
        if (play == Play::Stopped || !pcm || !stream)
            return position;
        const std::int64_t heard = stream->framesPlayed() - pcm->silenceFrames();
        return pcm->fromFrame() + std::clamp<std::int64_t>(heard, 0, pcm->toFrame() - pcm->fromFrame());
    }

    void finish()
    {
        if (play == Play::Stopped)
            return;
        readError = pcm && pcm->readFailed();
        position = pcm && !readError ? pcm->toFrame() : livePosition();
        play = Play::Stopped;
        // The stream and its source stay until the next request: this may run inside the
        // stream's own `finished` signal.
    }

    /// The mode is right even when the output's end notice has not arrived yet.
    void checkFinished()
    {
        if (play == Play::Playing && pcm && stream && pcm->exhausted() &&
            stream->framesPlayed() >= pcm->framesDelivered() + pcm->silenceFrames())
            finish();
    }

    MCIERROR startPlaying(std::int64_t from, std::int64_t to)
    {
        stopStream();
        readError = false;
        position = from;
        play = Play::Stopped;
        if (from == to)
            return 0;
        // A reader still caught in a sector's retries keeps its drive; the new play gets its own.
        if (lastPcm && lastPcm->readerBusy())
            audioDrive.reset();
        if (!audioDrive) {
            audioDrive = openReader(source);
            if (!audioDrive)
                return MCIERR_CD_READ;
        }
        // The play does not wait for the disc: the sound starts with the first sector read.
        pcm = std::make_shared<CdPcmSource>(audioDrive, from, to);
        lastPcm = pcm;
        pcm->start();
        try {
            stream = output.start(pcm);
        } catch (const std::bad_alloc&) {
            stopStream();
            return MCIERR_OUT_OF_MEMORY;
        } catch (...) {
            stopStream();
            return MCIERR_NO_AUDIO_OUTPUT;
        }
        if (!stream) {
            stopStream();
            return MCIERR_NO_AUDIO_OUTPUT;
        }
        QObject::connect(stream.get(), &OutputStream::finished, stream.get(), [this] { finish(); });
        QObject::connect(stream.get(), &OutputStream::failed, stream.get(), [this] { finish(); });
        play = Play::Playing;
        return 0;
    }

    // ---- positions in the time format

    /// A position given in a request, as frames from the start of the disc.
    MCIERROR framesFrom(quint32 value, std::int64_t& frames) const
    {
        qint32 sector = 0;
        switch (timeFormat) {
        case MCI_FORMAT_TMSF: {
            const CdTrackInfo* t = toc->track(MCI_TMSF_TRACK(value));
            if (!t)
                return MCIERR_CD_NO_SUCH_TRACK;
            sector = t->start + MCI_TMSF_MINUTE(value) * SectorsPerMinute +
                     MCI_TMSF_SECOND(value) * SectorsPerSecond + MCI_TMSF_FRAME(value);
            break;
        }
        case MCI_FORMAT_MSF:
            sector = MCI_MSF_MINUTE(value) * SectorsPerMinute + MCI_MSF_SECOND(value) * SectorsPerSecond +
                     MCI_MSF_FRAME(value) - MsfLeadIn;
            break;
        default: {
            const std::int64_t f = std::int64_t(value) * Pcm::SampleRate / 1000;
            if (f > framesOf(toc->leadOut()))
                return MCIERR_OUTOFRANGE;
            frames = f;
            return 0;
        }
        }
        if (sector < 0 || sector > toc->leadOut())
            return MCIERR_OUTOFRANGE;
        frames = framesOf(sector);
        return 0;
    }

    [[nodiscard]] quint32 positionValue(std::int64_t frames) const
    {
        const qint32 sector = sectorOf(frames);
        switch (timeFormat) {
        case MCI_FORMAT_TMSF: {
            const CdTrackInfo* t = toc->trackAt(sector);
            const Msf msf = msfOf(sector - t->start);
            return MCI_MAKE_TMSF(quint8(t->number), msf.m, msf.s, msf.f);
        }
        case MCI_FORMAT_MSF: {
            const Msf msf = msfOf(sector + MsfLeadIn);
            return MCI_MAKE_MSF(msf.m, msf.s, msf.f);
        }
        default:
            return quint32(frames * 1000 / Pcm::SampleRate);
        }
    }

    [[nodiscard]] quint32 lengthValue(qint32 sectors) const
    {
        if (timeFormat == MCI_FORMAT_MILLISECONDS)
            return quint32(std::int64_t(sectors) * 1000 / SectorsPerSecond);
        const Msf msf = msfOf(sectors);
        return MCI_MAKE_MSF(msf.m, msf.s, msf.f);
    }

    /// The end of the run of audio tracks that holds `sector`.
    [[nodiscard]] qint32 audioRunEnd(qint32 sector) const
    {
        qint32 end = toc->leadOut();
        bool inRun = false;
        for (const CdTrackInfo& t : toc->tracks) {
            if (t.end <= sector)
                continue;
            if (!t.audio) {
                if (inRun) {
                    end = t.start;
                    break;
                }
                continue;
            }
            inRun = true;
            end = t.end;
        }
        return end;
    }

    // ---- requests

    MCIERROR playRequest(quint32 flags, MCI_PLAY_PARMS* parms)
    {
        if (!toc)
            return MCIERR_CD_NO_DISC;
        if ((flags & (MCI_FROM | MCI_TO)) && !parms)
            return MCIERR_NULL_PARAMETER_BLOCK;
        checkFinished();
        std::int64_t from = livePosition();
        if (flags & MCI_FROM) {
            if (const MCIERROR e = framesFrom(parms->dwFrom, from))
                return e;
        }
        const CdTrackInfo* startTrack = toc->trackAt(sectorOf(from));
        if (from < framesOf(toc->leadOut()) && !startTrack->audio)
            return MCIERR_CD_NOT_AUDIO;
        std::int64_t to = framesOf(audioRunEnd(sectorOf(from)));
        if (flags & MCI_TO) {
            if (const MCIERROR e = framesFrom(parms->dwTo, to))
                return e;
        }
        if (from > to)
            return MCIERR_OUTOFRANGE;

        if (play == Play::Paused && !(flags & MCI_FROM) && pcm && stream && pcm->toFrame() == to) {
            stream->resume();
            play = Play::Playing;
            return 0;
        }
        return startPlaying(from, to);
    }

    MCIERROR pauseRequest()
    {
        if (!toc)
            return MCIERR_CD_NO_DISC;
        checkFinished();
        if (play == Play::Playing) {
            stream->pause();
            play = Play::Paused;
        }
        return 0;
    }

    MCIERROR resumeRequest()
    {
        if (!toc)
            return MCIERR_CD_NO_DISC;
        if (play == Play::Paused) {
            stream->resume();
            play = Play::Playing;
        }
        return 0;
    }

    MCIERROR stopRequest()
    {
        if (!toc)
            return MCIERR_CD_NO_DISC;
        checkFinished();
        readError = false;
        if (play != Play::Stopped) {
            position = livePosition();
            play = Play::Stopped;
        }
        stopStream();
        return 0;
    }

    MCIERROR seekRequest(quint32 flags, MCI_SEEK_PARMS* parms)
    {
        if (!toc)
            return MCIERR_CD_NO_DISC;
        quint32 where = 0;
        if (const MCIERROR e = seekTarget(flags, where))
            return e;
        std::int64_t target = framesOf(toc->start());
        if (where == MCI_SEEK_TO_END) {
            target = framesOf(toc->leadOut());
        } else if (where == MCI_TO) {
            if (!parms)
                return MCIERR_NULL_PARAMETER_BLOCK;
            if (const MCIERROR e = framesFrom(parms->dwTo, target))
                return e;
        }
        play = Play::Stopped;
        readError = false;
        stopStream();
        position = target;
        return 0;
    }

    [[nodiscard]] quint32 mode()
    {
        if (drive->trayStatus() == 1)
            return MCI_MODE_OPEN;
        if (!toc)
            return MCI_MODE_NOT_READY;
        checkFinished();
        switch (play) {
        case Play::Playing:
            return MCI_MODE_PLAY;
        case Play::Paused:
            return MCI_MODE_PAUSE;
        case Play::Stopped:
            break;
        }
        return MCI_MODE_STOP;
    }

    MCIERROR statusRequest(quint32 flags, MCI_STATUS_PARMS* parms)
    {
        if (const MCIERROR e = checkItemQuery(flags, MCI_STATUS_ITEM, parms))
            return e;
        switch (parms->dwItem) {
        case MCI_STATUS_MODE:
            // A track given with the mode query does not matter.
            parms->dwReturn = mode();
            if (std::exchange(readError, false))
                return MCIERR_CD_TRACK_CUT_SHORT; // once: the poll reports it, then sees the stop
            return 0;
        case MCI_STATUS_MEDIA_PRESENT:
            parms->dwReturn = toc ? 1 : 0;
            return 0;
        case MCI_STATUS_READY:
            parms->dwReturn = toc && drive->trayStatus() != 1 ? 1 : 0;
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            parms->dwReturn = timeFormat;
            return 0;
        default:
            break;
        }
        if (!toc)
            return MCIERR_CD_NO_DISC;
        const CdTrackInfo* track = nullptr;
        if (flags & MCI_TRACK) {
            track = toc->track(int(parms->dwTrack));
            if (!track)
                return MCIERR_CD_NO_SUCH_TRACK;
        }
        checkFinished();
        switch (parms->dwItem) {
        case MCI_STATUS_NUMBER_OF_TRACKS:
            parms->dwReturn = quint32(toc->tracks.size());
            return 0;
        case MCI_STATUS_POSITION:
            if (track)
                parms->dwReturn = positionValue(framesOf(track->start));
            else if (flags & MCI_STATUS_START)
                parms->dwReturn = positionValue(framesOf(toc->start()));
            else
                parms->dwReturn = positionValue(livePosition());
            return 0;
        case MCI_STATUS_LENGTH:
            parms->dwReturn = lengthValue(track ? track->end - track->start : toc->leadOut() - toc->start());
            return 0;
        case MCI_STATUS_CURRENT_TRACK:
            parms->dwReturn = quint32(toc->trackAt(sectorOf(livePosition()))->number);
            return 0;
        case MCI_CDA_STATUS_TYPE_TRACK:
            if (!track)
                return MCIERR_MISSING_PARAMETER;
            parms->dwReturn = track->audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
        }
    }

    MCIERROR setRequest(quint32 flags, MCI_SET_PARMS* parms)
    {
        if (flags & MCI_SET_TIME_FORMAT) {
            if (!parms)
                return MCIERR_NULL_PARAMETER_BLOCK;
            const quint32 format = parms->dwTimeFormat;
            if (format != MCI_FORMAT_TMSF && format != MCI_FORMAT_MSF && format != MCI_FORMAT_MILLISECONDS)
                return MCIERR_BAD_TIME_FORMAT;
            timeFormat = format;
        }
        if ((flags & MCI_SET_DOOR_OPEN) && (flags & MCI_SET_DOOR_CLOSED))
            return MCIERR_FLAGS_NOT_COMPATIBLE;
        if (flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED)) {
            if (drive->isImage())
                return MCIERR_CD_NO_EJECT;
            play = Play::Stopped;
            stopStream();
            audioDrive.reset();
            if (flags & MCI_SET_DOOR_OPEN) {
                toc.reset();
                if (!drive->eject())
                    return MCIERR_CD_NO_EJECT;
            } else if (!drive->closeTray()) {
                return MCIERR_CD_NO_EJECT;
            }
        }
        return 0;
    }

    MCIERROR capsRequest(quint32 flags, MCI_GETDEVCAPS_PARMS* parms) const
    {
        DeviceRequests::Capabilities caps;
        caps.canEject = !drive->isImage();
        caps.canPlay = true;
        caps.hasAudio = true;
        caps.deviceType = MCI_DEVTYPE_CD_AUDIO;
        return DeviceRequests::answerCapabilities(caps, flags, parms);
    }
};

CdAudioDevice::CdAudioDevice(AudioOutput& output, ReaderFactory openReader)
    : d(std::make_unique<Impl>(output, std::move(openReader)))
{
}

CdAudioDevice::~CdAudioDevice() = default;

MCIERROR CdAudioDevice::open(quint32 flags, MCI_OPEN_PARMS& parms)
{
    d->source = (flags & MCI_OPEN_ELEMENT) && parms.lpstrElementName && *parms.lpstrElementName
                    ? QString::fromUtf8(parms.lpstrElementName)
                    : CdDrive::configuredSource();
    CdDrive::OpenResult result{};
    d->drive = CdDrive::open(d->source, result);
    switch (result) {
    case CdDrive::OpenResult::Opened:
        break;
    case CdDrive::OpenResult::NoDrive:
        return MCIERR_CD_NO_DRIVE;
    case CdDrive::OpenResult::SourceMissing:
        return MCIERR_CD_SOURCE_MISSING;
    case CdDrive::OpenResult::Unreadable:
        return MCIERR_CD_IMAGE_UNREADABLE;
    }
    d->loadToc();
    // An image is its disc: without a table of contents it is no disc image at all.
    if (d->drive->isImage() && !d->toc) {
        d->drive.reset();
        return MCIERR_CD_IMAGE_UNREADABLE;
    }
    return 0;
}

MCIERROR CdAudioDevice::command(quint32 command, quint32 flags, void* parms)
{
    if (!d->drive)
        return MCIERR_DEVICE_NOT_READY;
    if (command == MCI_CLOSE) {
        d->play = Impl::Play::Stopped;
        d->readError = false;
        d->stopStream();
        return 0;
    }
    d->refreshDisc();
    switch (command) {
    case MCI_PLAY:
        return d->playRequest(flags, block<MCI_PLAY_PARMS>(parms));
    case MCI_PAUSE:
        return d->pauseRequest();
    case MCI_RESUME:
        return d->resumeRequest();
    case MCI_STOP:
        return d->stopRequest();
    case MCI_SEEK:
        return d->seekRequest(flags, block<MCI_SEEK_PARMS>(parms));
    case MCI_STATUS:
        return d->statusRequest(flags, block<MCI_STATUS_PARMS>(parms));
    case MCI_SET:
        return d->setRequest(flags, block<MCI_SET_PARMS>(parms));
    case MCI_GETDEVCAPS:
        return d->capsRequest(flags, block<MCI_GETDEVCAPS_PARMS>(parms));
    case MCI_RECORD:
    case MCI_SAVE:
        return MCIERR_UNSUPPORTED_FUNCTION;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

void registerCdAudioDevice(AudioOutput& output, CdAudioDevice::ReaderFactory openReader)
{
    Mci::registerDeviceType(
        QStringLiteral("cdaudio"),
        [&output, openReader] { return std::make_unique<CdAudioDevice>(output, openReader); },
        Mci::Sharing::OneMedium);
}
