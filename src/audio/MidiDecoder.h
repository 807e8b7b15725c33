// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioDecoder.h"

#include <QByteArray>

#include <memory>

/// Renders a standard MIDI file through FluidSynth with the General MIDI sound font.
/// The length is the time of the file's last event plus a short tail for the last notes to ring out.
class MidiDecoder : public AudioDecoder {
public:
    /// Raises DeviceError when the file is not a readable MIDI file or no sound font is installed.
    explicit MidiDecoder(const QString& path);
    ~MidiDecoder() override;

    [[nodiscard]] double duration() const override;
    std::size_t read(std::int16_t* out, std::size_t frames) override;

    /// Whether the first bytes of a file mark it as MIDI (plain or wrapped in RIFF).
    [[nodiscard]] static bool isMidi(const QByteArray& start);
    /// Seconds from the start to the last event of a standard MIDI file, following its tempo
    /// changes. Raises DeviceError when the data is not a standard MIDI file.
    [[nodiscard]] static double eventLength(const QByteArray& data);
    /// The time given to the last notes after the last event.
    static constexpr double TailSeconds = 1.0;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
