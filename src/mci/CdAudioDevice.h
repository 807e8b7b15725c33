// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MciInterface.h"

#include <memory>

#include <QString>

#include <functional>

class AudioOutput;
class CdSectorReader;

/// The "cdaudio" device: the disc in the default CD drive, or the drive or disc image
/// (.cue/.bin, .toc, .nrg) named by SONAVEX_CDAUDIO, or by the open request's element name.
/// Audio is read digitally, with error correction, on a thread of its own and played through
/// the sound output. Requests: open (shareable), close, play (from/to; without a start it
/// continues from where the disc stands, after a pause from the pause point), pause, resume,
/// stop, seek, status (mode, position, length, tracks, current track, media present, ready,
/// time format, track type), set (time format TMSF, MSF or milliseconds; door open/closed on
/// a drive) and the capability queries. A play never waits for its end: MCI_WAIT is ignored.
/// No request waits for the disc: a play starts sounding with the first sector read, and a
/// reader caught in a damaged sector's retries is left to finish on its own. A track that
/// cannot be read to its end stops there, and the next mode query answers
/// MCIERR_CD_TRACK_CUT_SHORT once.
class CdAudioDevice : public MciDevice {
public:
    /// Opens the reader of a play's audio for the device's source (drive or image).
    using ReaderFactory = std::function<std::shared_ptr<CdSectorReader>(const QString& source)>;

    /// Without a factory the audio is read through CdDrive.
    explicit CdAudioDevice(AudioOutput& output, ReaderFactory openReader = {});
    ~CdAudioDevice() override;

    CdAudioDevice(const CdAudioDevice&) = delete;
    CdAudioDevice& operator=(const CdAudioDevice&) = delete;

    MCIERROR open(quint32 flags, MCI_OPEN_PARMS& parms) override;
    MCIERROR command(quint32 command, quint32 flags, void* parms) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

/// Makes "cdaudio" openable. `output` must outlive every CD device opened (Mci::reset()
/// closes them).
void registerCdAudioDevice(AudioOutput& output, CdAudioDevice::ReaderFactory openReader = {});
