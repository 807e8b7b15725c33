// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleSounds.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace {
using std::numbers::pi;
constexpr double Rate = SampleSounds::SampleRate;
constexpr float Peak = 0.7F; // about 3 dB below full scale

/// The per-sample factor of a decay by e in `seconds`.
double decayFactor(double seconds)
{
    return std::exp(-1.0 / (seconds * Rate));
}

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;

    explicit Stereo(double seconds)
        : left(static_cast<std::size_t>(seconds * Rate), 0.0F)
        , right(static_cast<std::size_t>(seconds * Rate), 0.0F)
    {
    }
    [[nodiscard]] std::size_t size() const { return left.size(); }

    void normalise()
    {
        float peak = 0.0F;
        for (std::size_t i = 0; i < size(); ++i)
            peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
        if (peak <= 0.0F)
            return;
        const float gain = Peak / peak;
        for (std::size_t i = 0; i < size(); ++i) {
            left[i] *= gain;
            right[i] *= gain;
        }
    }
};

/// A struck bell: inharmonic partials, each dying away at its own rate. Each partial
/// is a rotating, shrinking phasor, so no sine or exponential is taken per sample.
void addBell(Stereo& s, double start, double fundamental, double level)
{
    constexpr double ratios[] = {1.0, 2.0, 2.76, 5.40, 8.93};
    constexpr double amplitudes[] = {1.0, 0.55, 0.4, 0.22, 0.1};
    constexpr double lifetimes[] = {0.77, 0.5, 0.36, 0.22, 0.14}; // seconds to fall by e
    std::complex<double> phasor[5];
    std::complex<double> step[5];
    for (int k = 0; k < 5; ++k) {
        phasor[k] = amplitudes[k] * level;
        step[k] = std::polar(decayFactor(lifetimes[k]), 2 * pi * fundamental * ratios[k] / Rate);
    }
    const auto first = static_cast<std::size_t>(start * Rate);
    const double attackSamples = 0.004 * Rate;
    for (std::size_t i = first; i < s.size(); ++i) {
        double v = 0.0;
        for (int k = 0; k < 5; ++k) {
            v += phasor[k].imag();
            phasor[k] *= step[k];
        }
        v *= std::min(1.0, static_cast<double>(i - first) / attackSamples);
        s.left[i] += static_cast<float>(v);
        s.right[i] += static_cast<float>(v);
    }
}

Stereo chime()
{
    Stereo s(3.0);
    addBell(s, 0.0, 659.25, 1.0);  // E
    addBell(s, 0.55, 523.25, 0.9); // C, a third below
    s.normalise();
    return s;
}

/// A kick drum: a sine that drops quickly in pitch, with a short click of noise.
Stereo drumHit()
{
    Stereo s(1.2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0F, 1.0F);
    const double bodyDecay = decayFactor(0.28);
    const double pitchDecay = decayFactor(0.045);
    const double clickDecay = decayFactor(0.008);
    double phase = 0.0;
    double body = 1.0;
    double bend = 130.0;
    double click = 0.5;
    for (std::size_t i = 0; i < s.size(); ++i) {
        phase += 2 * pi * (48.0 + bend) / Rate;
        const double attack = std::min(1.0, static_cast<double>(i) / (0.002 * Rate));
        const auto v = static_cast<float>(std::sin(phase) * body * attack + noise(rng) * click);
        s.left[i] = v;
        s.right[i] = v;
        body *= bodyDecay;
        bend *= pitchDecay;
        click *= clickDecay;
    }
    s.normalise();
    return s;
}

/// A tone rising from 150 Hz to 3 kHz that travels from left to right.
Stereo risingSweep()
{
    constexpr double seconds = 2.0;
    constexpr double from = 150.0;
    constexpr double to = 3000.0;
    Stereo s(seconds);
    const double rise = std::pow(to / from, 1.0 / (seconds * Rate));
    double freq = from;
    double phase = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double x = t / seconds;
        const double envelope = std::min({1.0, t / 0.05, (seconds - t) / 0.08});
        const double v = std::sin(phase) * envelope;
        s.left[i] = static_cast<float>(v * std::cos(x * pi / 2));
        s.right[i] = static_cast<float>(v * std::sin(x * pi / 2));
        phase += 2 * pi * freq / Rate;
        freq *= rise;
    }
    s.normalise();
    return s;
}

/// Many short claps at random moments, each a burst of noise through a band-pass
/// filter around 1-2.5 kHz, swelling and dying down.
Stereo applause()
{
    constexpr double seconds = 3.0;
    Stereo s(seconds);
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    constexpr double clapsPerSecond = 90.0;
    const int claps = static_cast<int>(clapsPerSecond * seconds);
    const auto length = static_cast<std::size_t>(0.05 * Rate);
    for (int c = 0; c < claps; ++c) {
        const double at = unit(rng) * (seconds - 0.05);
        const double pan = 0.15 + 0.7 * unit(rng);
        const double level = 0.4 + 0.6 * unit(rng);
        const double decay = decayFactor(0.005 + 0.008 * unit(rng));
        // Band-pass biquad (constant peak gain), centre and width differing per clap.
        const double w0 = 2 * pi * (1000.0 + 1500.0 * unit(rng)) / Rate;
        const double alpha = std::sin(w0) / (2 * 1.2);
        const double a0 = 1 + alpha;
        const double b0 = alpha / a0;
        const double a1 = -2 * std::cos(w0) / a0;
        const double a2 = (1 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double gain = level;
        const auto first = static_cast<std::size_t>(at * Rate);
        const std::size_t last = std::min(first + length, s.size());
        for (std::size_t i = first; i < last; ++i) {
            const double x = noise(rng) * gain;
            const double y = b0 * x - b0 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            s.left[i] += static_cast<float>(y * (1.0 - pan));
            s.right[i] += static_cast<float>(y * pan);
            gain *= decay;
        }
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const auto envelope = static_cast<float>(std::min({1.0, t / 0.4, (seconds - t) / 1.2}));
        s.left[i] *= envelope;
        s.right[i] *= envelope;
    }
    s.normalise();
    return s;
}

template <typename T> char* put(char* out, T value)
{
    qToLittleEndian(value, out);
    return out + sizeof(T);
}
} // namespace

QByteArray SampleSounds::waveFile(std::span<const float> left, std::span<const float> right)
{
    const std::size_t frames = std::min(left.size(), right.size());
    constexpr quint16 bits = 16;
    constexpr quint16 blockAlign = Channels * bits / 8;
    const auto dataBytes = static_cast<quint32>(frames * blockAlign);

    QByteArray file(44 + static_cast<qsizetype>(dataBytes), Qt::Uninitialized);
    char* out = file.data();
    out = std::copy_n("RIFF", 4, out);
    out = put<quint32>(out, 36 + dataBytes);
    out = std::copy_n("WAVEfmt ", 8, out);
    out = put<quint32>(out, 16);
    out = put<quint16>(out, 1); // PCM
    out = put<quint16>(out, Channels);
    out = put<quint32>(out, SampleRate);
    out = put<quint32>(out, SampleRate * blockAlign);
    out = put<quint16>(out, blockAlign);
    out = put<quint16>(out, bits);
    out = std::copy_n("data", 4, out);
    out = put<quint32>(out, dataBytes);
    const auto toPcm = [](float v) {
        return static_cast<qint16>(std::lround(std::clamp(v, -1.0F, 1.0F) * 32767.0F));
    };
    for (std::size_t i = 0; i < frames; ++i) {
        out = put<qint16>(out, toPcm(left[i]));
        out = put<qint16>(out, toPcm(right[i]));
    }
    return file;
}

QList<SampleSounds::Sample> SampleSounds::all()
{
    QList<Sample> samples;
    const auto add = [&samples](const char* title, const char* file, const Stereo& s) {
        samples.append({QLatin1String(title), QLatin1String(file), waveFile(s.left, s.right)});
    };
    add("Chime", "chime.wav", chime());
    add("Drum Hit", "drum-hit.wav", drumHit());
    add("Rising Sweep", "rising-sweep.wav", risingSweep());
    add("Applause", "applause.wav", applause());
    return samples;
}
