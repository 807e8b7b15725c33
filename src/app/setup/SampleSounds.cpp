// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleSounds.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace {
using std::numbers::pi;
constexpr double Rate = SampleSounds::SampleRate;
constexpr float Peak = 0.7F; // about 3 dB below full scale

struct Stereo {
    QList<float> left;
    QList<float> right;

    explicit Stereo(double seconds)
        : left(static_cast<qsizetype>(seconds * Rate), 0.0F)
        , right(static_cast<qsizetype>(seconds * Rate), 0.0F)
    {
    }
    [[nodiscard]] qsizetype size() const { return left.size(); }

    void normalise()
    {
        float peak = 0.0F;
        for (qsizetype i = 0; i < size(); ++i)
            peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
        if (peak <= 0.0F)
            return;
        const float gain = Peak / peak;
        for (qsizetype i = 0; i < size(); ++i) {
            left[i] *= gain;
            right[i] *= gain;
        }
    }
};

/// A struck bell: inharmonic partials, each dying away at its own rate.
void addBell(Stereo& s, double start, double fundamental, double level)
{
    constexpr double ratios[] = {1.0, 2.0, 2.76, 5.40, 8.93};
    constexpr double amplitudes[] = {1.0, 0.55, 0.4, 0.22, 0.1};
    constexpr double decays[] = {1.3, 2.0, 2.8, 4.5, 7.0};
    const auto first = static_cast<qsizetype>(start * Rate);
    for (qsizetype i = first; i < s.size(); ++i) {
        const double t = static_cast<double>(i - first) / Rate;
        const double attack = std::min(1.0, t / 0.004);
        double v = 0.0;
        for (int k = 0; k < 5; ++k)
            v += amplitudes[k] * std::exp(-decays[k] * t) * std::sin(2 * pi * fundamental * ratios[k] * t);
        s.left[i] += static_cast<float>(level * attack * v);
        s.right[i] += static_cast<float>(level * attack * v);
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
    double phase = 0.0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double freq = 48.0 + 130.0 * std::exp(-t / 0.045);
        phase += 2 * pi * freq / Rate;
        const double body = std::sin(phase) * std::exp(-t / 0.28) * std::min(1.0, t / 0.002);
        const double click = noise(rng) * std::exp(-t / 0.008) * 0.5;
        const auto v = static_cast<float>(body + click);
        s.left[i] = v;
        s.right[i] = v;
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
    double phase = 0.0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double x = t / seconds;
        phase += 2 * pi * from * std::pow(to / from, x) / Rate;
        const double envelope = std::min({1.0, t / 0.05, (seconds - t) / 0.08});
        const double v = std::sin(phase) * envelope;
        s.left[i] = static_cast<float>(v * std::cos(x * pi / 2));
        s.right[i] = static_cast<float>(v * std::sin(x * pi / 2));
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
    const auto length = static_cast<qsizetype>(0.05 * Rate);
    for (int c = 0; c < claps; ++c) {
        const double at = unit(rng) * (seconds - 0.05);
        const double pan = 0.15 + 0.7 * unit(rng);
        const double level = 0.4 + 0.6 * unit(rng);
        const double decay = 0.005 + 0.008 * unit(rng);
        // Band-pass biquad (constant peak gain), centre and width differing per clap.
        const double w0 = 2 * pi * (1000.0 + 1500.0 * unit(rng)) / Rate;
        const double alpha = std::sin(w0) / (2 * 1.2);
        const double a0 = 1 + alpha;
        const double b0 = alpha / a0;
        const double a1 = -2 * std::cos(w0) / a0;
        const double a2 = (1 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        const auto first = static_cast<qsizetype>(at * Rate);
        for (qsizetype i = 0; i < length && first + i < s.size(); ++i) {
            const double t = static_cast<double>(i) / Rate;
            const double x = noise(rng) * std::exp(-t / decay);
            const double y = b0 * x - b0 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            s.left[first + i] += static_cast<float>(y * level * (1.0 - pan));
            s.right[first + i] += static_cast<float>(y * level * pan);
        }
    }
    for (qsizetype i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double envelope = std::min({1.0, t / 0.4, (seconds - t) / 1.2});
        s.left[i] *= static_cast<float>(envelope);
        s.right[i] *= static_cast<float>(envelope);
    }
    s.normalise();
    return s;
}

void putTag(QByteArray& out, const char* tag)
{
    out.append(tag, 4);
}

template <typename T>
void putLittleEndian(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}
} // namespace

QByteArray SampleSounds::waveFile(const QList<float>& left, const QList<float>& right)
{
    const qsizetype frames = std::min(left.size(), right.size());
    constexpr quint16 bits = 16;
    constexpr quint16 blockAlign = Channels * bits / 8;
    const auto dataBytes = static_cast<quint32>(frames * blockAlign);

    QByteArray out;
    out.reserve(44 + static_cast<qsizetype>(dataBytes));
    putTag(out, "RIFF");
    putLittleEndian<quint32>(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    putLittleEndian<quint32>(out, 16);
    putLittleEndian<quint16>(out, 1); // PCM
    putLittleEndian<quint16>(out, Channels);
    putLittleEndian<quint32>(out, SampleRate);
    putLittleEndian<quint32>(out, SampleRate * blockAlign);
    putLittleEndian<quint16>(out, blockAlign);
    putLittleEndian<quint16>(out, bits);
    putTag(out, "data");
    putLittleEndian<quint32>(out, dataBytes);
    const auto toPcm = [](float v) {
        return static_cast<qint16>(std::lround(std::clamp(v, -1.0F, 1.0F) * 32767.0F));
    };
    for (qsizetype i = 0; i < frames; ++i) {
        putLittleEndian<qint16>(out, toPcm(left[i]));
        putLittleEndian<qint16>(out, toPcm(right[i]));
    }
    return out;
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
