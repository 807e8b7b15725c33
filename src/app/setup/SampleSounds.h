// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <span>

/// Short sounds of our own for a new user's first sheet: 44.1 kHz, 16-bit stereo
/// wave files, made the same way on every run.
namespace SampleSounds {
struct Sample {
    QString title;    ///< the button's caption
    QString fileName; ///< without a folder
    QByteArray wave;  ///< the complete file
};

constexpr int SampleRate = 44100;
constexpr int Channels = 2;

/// A chime, a drum hit, a rising sweep and applause, in that order.
[[nodiscard]] QList<Sample> all();

/// A RIFF wave file of interleaved left/right samples in -1..1 (clipped).
[[nodiscard]] QByteArray waveFile(std::span<const float> left, std::span<const float> right);
} // namespace SampleSounds
