// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

/// Turns one media file into the program's PCM (see Pcm in AudioOutput.h).
class AudioDecoder {
public:
    virtual ~AudioDecoder() = default;
    /// Length in seconds as far as it is known when the file is opened.
    [[nodiscard]] virtual double duration() const = 0;
    /// Decodes up to `frames` frames into `out`; fewer only at the end, 0 once it is reached.
    /// Raises DeviceError when the file cannot be decoded at all.
    virtual std::size_t read(std::int16_t* out, std::size_t frames) = 0;
    /// Before the first read: the next read starts at `frame` (in the program's frames). False
    /// when this decoder cannot seek; the caller then reads up to it.
    virtual bool seek(std::int64_t frame)
    {
        (void)frame;
        return false;
    }
};

/// Opens `path` with the decoder for its kind: MIDI files through the synthesizer, anything
/// else through FFmpeg. Raises DeviceError whose message is the reason alone.
std::unique_ptr<AudioDecoder> openAudioDecoder(const QString& path);
