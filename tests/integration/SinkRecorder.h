// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fakes/MediaFiles.h"
#include "platform/AudioOutput.h"

#include <QTest>

#include <mutex>
#include <vector>

/// Records the default source (the copy of the null sink's monitor) for as long as it lives.
class SinkRecorder {
public:
    explicit SinkRecorder(AudioInput& input) : m_sink(std::make_shared<Sink>()), m_stream(input.startCapture(m_sink)) {}

    /// Frames recorded so far.
    [[nodiscard]] std::size_t frames() const
    {
        std::lock_guard lock(m_sink->mutex);
        return m_sink->samples.size() / Pcm::Channels;
    }
    /// Waits `msecs` and returns what was recorded meanwhile, less the first `skipMs`.
    std::vector<std::int16_t> during(int msecs, int skipMs = 0)
    {
        const std::size_t from = frames() + static_cast<std::size_t>(skipMs) * Pcm::SampleRate / 1000;
        QTest::qWait(msecs);
        std::lock_guard lock(m_sink->mutex);
        const std::size_t begin = std::min(from * Pcm::Channels, m_sink->samples.size());
        return {m_sink->samples.begin() + static_cast<std::ptrdiff_t>(begin), m_sink->samples.end()};
    }
    static double toneDb(const std::vector<std::int16_t>& s, double hz)
    {
        return MediaFiles::toneLevelDb(s.data(), s.size() / Pcm::Channels, Pcm::Channels, hz);
    }
    static double rmsDb(const std::vector<std::int16_t>& s) { return MediaFiles::rmsDb(s.data(), s.size()); }

private:
    struct Sink : PcmSink {
        void write(const std::int16_t* in, std::size_t count) override
        {
            std::lock_guard lock(mutex);
            samples.insert(samples.end(), in, in + count * Pcm::Channels);
        }
        mutable std::mutex mutex;
        std::vector<std::int16_t> samples;
    };
    std::shared_ptr<Sink> m_sink;
    std::unique_ptr<InputStream> m_stream;
};
