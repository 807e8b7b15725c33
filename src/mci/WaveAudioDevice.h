// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MciInterface.h"

#include <memory>

class AudioInput;
class AudioOutput;

/// The "waveaudio" device: one wave held in memory as 16-bit stereo at 44.1 kHz. The open
/// request's element names a wave file (other rates and channel counts are converted); an
/// empty or missing element starts an empty wave. Positions are in milliseconds, the only
/// time format. Requests: play (from/to; without a start it goes on from the current
/// position, after a pause from the pause point), record (from/to), pause, resume, stop,
/// seek (start, end, to), status (position, length, mode, time format, ready, media
/// present), set (time format), save (a 16-bit PCM wave, under the name exactly as given),
/// the capability queries and close.
///
/// Play and record return at once, MCI_WAIT or not. Recording overwrites the wave from the
/// record position on and extends it past its end; MCI_RECORD_INSERT inserts instead. A
/// recording with an end stops by itself there. Any seek, play or record first stops what
/// the device was doing, keeping what was recorded so far.
///
/// A take runs from the request that starts it to the one that ends it: the input is held
/// ready while the device is open, and what the server still holds of a take when it ends
/// comes later, into room kept for it, so the length is right at once and nothing waits.
/// A save, a play over that room or a recording before it waits for it (briefly). Blocks the
/// server dropped are kept as silence and counted (status MCI_WAVE_STATUS_DROPPED_BLOCKS).
class WaveAudioDevice : public MciDevice {
public:
    WaveAudioDevice(AudioOutput& output, AudioInput& input);
    ~WaveAudioDevice() override;

    WaveAudioDevice(const WaveAudioDevice&) = delete;
    WaveAudioDevice& operator=(const WaveAudioDevice&) = delete;

    MCIERROR open(quint32 flags, MCI_OPEN_PARMS& parms) override;
    MCIERROR command(quint32 command, quint32 flags, void* parms) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

/// Makes "waveaudio" openable. `output` and `input` must outlive every wave device opened
/// (Mci::reset() closes them).
void registerWaveAudioDevice(AudioOutput& output, AudioInput& input);
