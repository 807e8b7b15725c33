// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

/// Sound files made by the tests themselves.
namespace MediaFiles {

/// How long a test waits for songs to be measured. The measuring thread runs at idle priority:
/// a busy test beside it holds it off for as long as that test runs.
inline constexpr int IdleWaitMs = 120000;

/// A sine tone, interleaved 16-bit, loud from its first sample.
std::vector<std::int16_t> tone(double hz, double seconds, double amplitude = 0.5, int rate = 44100,
                               int channels = 2);
/// Every sample different: left counts up, right counts down (for exact comparisons).
std::vector<std::int16_t> ramp(std::size_t frames);

bool writeWav(const QString& path, const std::vector<std::int16_t>& samples, int rate = 44100,
              int channels = 2);
/// Sun/NeXT .au, 16-bit big-endian.
bool writeAu(const QString& path, const std::vector<std::int16_t>& samples, int rate = 44100,
             int channels = 2);
bool writeBytes(const QString& path, const QByteArray& bytes);

/// A CD image `dir`/disc.cue + disc.bin whose audio tracks hold `tracks` (stereo 44.1 kHz,
/// padded to whole sectors). Returns the cue sheet's path, empty on failure.
QString writeCdImage(const QString& dir, const std::vector<std::vector<std::int16_t>>& tracks);

/// A format-0 MIDI file: `notes` notes of `noteMs` each on a piano at 120 beats per minute.
QByteArray midiTune(int notes, int noteMs);

/// Encodes stereo 44.1 kHz samples through libavformat/libavcodec ("mp3" with the MP3
/// encoder, "avi" with PCM). False with the reason when this FFmpeg cannot.
bool encode(const QString& path, const char* container, const std::vector<std::int16_t>& samples,
            QString* why);

/// Level of the `hz` component in dBFS (a full-scale sine is 0), over the first channel.
double toneLevelDb(const std::int16_t* samples, std::size_t frames, int channels, double hz,
                   int rate = 44100);
/// The same level read over short overlapping pieces, as the median piece: a block that a
/// recording lost or repeated costs only its own piece, where one sum over the whole stretch
/// would add the tone's two sides of the gap out of phase and read low, and gaps in fewer than
/// half of the pieces (PipeWire's graph now and then blanks a few ms of everything it plays on
/// a busy machine) do not lower the level read.
double pieceToneLevelDb(const std::int16_t* samples, std::size_t frames, int channels, double hz,
                        int rate = 44100);
/// RMS in dBFS over all samples (-200 for silence).
double rmsDb(const std::int16_t* samples, std::size_t count);

} // namespace MediaFiles
