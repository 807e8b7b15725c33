// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"
#include "fakes/MediaFiles.h"

#include <QTest>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <mutex>
#include <vector>

/// Records the default source (the copy of the null sink's monitor) for as long as it lives.
class SinkRecorder {
public:
    explicit SinkRecorder(AudioInput& input)
        : m_sink(std::make_shared<Sink>())
        , m_stream(input.startCapture(m_sink))
    {
    }

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
    /// What was recorded from frame `from` on.
    std::vector<std::int16_t> since(std::size_t from) const
    {
        std::lock_guard lock(m_sink->mutex);
        const std::size_t begin = std::min(from * Pcm::Channels, m_sink->samples.size());
        return {m_sink->samples.begin() + static_cast<std::ptrdiff_t>(begin), m_sink->samples.end()};
    }
    /// What reaches the recording may miss or repeat a block of the server's now and then
    /// (PipeWire under load): levels are read piece by piece, so that such a gap does not count.
    static double toneDb(const std::vector<std::int16_t>& s, double hz)
    {
        return MediaFiles::pieceToneLevelDb(s.data(), s.size() / Pcm::Channels, Pcm::Channels, hz);
    }
    static double rmsDb(const std::vector<std::int16_t>& s) { return MediaFiles::rmsDb(s.data(), s.size()); }

    /// Which 10 ms pieces of a recording hold the tone `hz` well above silence. A piece this short
    /// lets another tone a few hundred hertz away leak in at about -30 dB: the bar stands above it.
    static std::vector<bool> toneTimeline(const std::vector<std::int16_t>& s, double hz)
    {
        constexpr std::size_t Piece = Pcm::SampleRate / 100;
        std::vector<bool> on;
        for (std::size_t at = 0; (at + Piece) * Pcm::Channels <= s.size(); at += Piece)
            on.push_back(MediaFiles::toneLevelDb(s.data() + at * Pcm::Channels, Piece, Pcm::Channels, hz) >
                         -20.0);
        return on;
    }
    static int countOn(const std::vector<bool>& on)
    {
        return static_cast<int>(std::count(on.cbegin(), on.cend(), true));
    }
    /// 10 ms pieces from the last piece of `first` to the first piece of `second` after it; -1
    /// when either is missing.
    static int gapPieces(const std::vector<bool>& first, const std::vector<bool>& second)
    {
        const auto lastFirst = std::find(first.crbegin(), first.crend(), true);
        if (lastFirst == first.crend())
            return -1;
        const auto end = static_cast<std::size_t>(first.crend() - lastFirst);
        for (std::size_t i = end; i < second.size(); ++i)
            if (second[i])
                return static_cast<int>(i - end);
        return -1;
    }

    /// Empty when the test server's null sink renders in small blocks and is not running ahead
    /// (what every measurement at the sink relies on); otherwise what is wrong.
    static QString sinkNotReady()
    {
        struct Query {
            pa_mainloop* loop = pa_mainloop_new();
            pa_context* context = nullptr;
            bool done = false;
            bool found = false;
            pa_usec_t latency = 0, configured = 0;
            ~Query()
            {
                if (context) {
                    pa_context_disconnect(context);
                    pa_context_unref(context);
                }
                pa_mainloop_free(loop);
            }
        } q;
        q.context = pa_context_new(pa_mainloop_get_api(q.loop), "sink-check");
        if (pa_context_connect(q.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return QStringLiteral("no audio server");
        while (pa_context_get_state(q.context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(q.context)) ||
                pa_mainloop_iterate(q.loop, 1, nullptr) < 0)
                return QStringLiteral("no audio server");
        }
        pa_operation_unref(pa_context_get_sink_info_by_name(
            q.context, "nullsink",
            [](pa_context*, const pa_sink_info* info, int eol, void* self) {
                auto* query = static_cast<Query*>(self);
                if (info) {
                    query->found = true;
                    query->latency = info->latency;
                    query->configured = info->configured_latency;
                }
                query->done = query->done || eol != 0;
            },
            &q));
        while (!q.done && pa_mainloop_iterate(q.loop, 1, nullptr) >= 0) {
        }
        if (!q.found)
            return QStringLiteral("no nullsink on the audio server");
        // PipeWire's null sink follows the graph and reports no blocks of its own (0).
        if (q.configured > 20000 || q.latency > 30000)
            return QStringLiteral("nullsink renders %1 ms ahead in blocks of %2 ms")
                .arg(static_cast<double>(q.latency) / 1000.0)
                .arg(static_cast<double>(q.configured) / 1000.0);
        return {};
    }

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
