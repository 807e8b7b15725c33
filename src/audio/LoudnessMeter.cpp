// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoudnessMeter.h"

#include "AudioOutput.h"
#include "platform/Errors.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

struct LoudnessMeter::State {
    ebur128_state* st = nullptr;
    ~State()
    {
        if (st)
            ebur128_destroy(&st);
    }
};

LoudnessMeter::LoudnessMeter()
    : m_state(std::make_unique<State>())
{
    m_state->st = ebur128_init(Pcm::Channels, Pcm::SampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!m_state->st)
        throw DeviceError(QStringLiteral("the loudness meter cannot be set up"));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const std::int16_t* frames, std::size_t count)
{
    if (count > 0)
        ebur128_add_frames_short(m_state->st, frames, count);
}

Loudness LoudnessMeter::result() const
{
    Loudness r;
    double lufs = -HUGE_VAL;
    if (ebur128_loudness_global(m_state->st, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
        lufs = -std::numeric_limits<double>::infinity();
    r.integratedLufs = lufs;
    double peak = 0.0;
    for (unsigned int c = 0; c < Pcm::Channels; ++c) {
        double p = 0.0;
        if (ebur128_true_peak(m_state->st, c, &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    r.truePeakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
    return r;
}
