// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's capture: takes from the default input, delivered to their sinks on the server's thread.
//
// A capture stream counts the frames it has delivered; a take is a range of them. Its first
// frame is the one being captured when the take starts: the frames delivered so far plus what
// the server holds in flight (the stream's latency), so nothing captured before the start is
// part of it. It lasts as long as the time from its start to its finish, and what the server
// still holds of it then comes on before it ends. While a capture is held ready (the recorder
// is open) one stream runs all the while, and a take starts on it at once.
#include "PulseAudioEngine.h"

#include "PulseAudioEngineImpl.h"

#include <algorithm>
#include <vector>

namespace {

struct Take {
    std::shared_ptr<PcmSink> sink;
    std::int64_t from = 0;
    std::int64_t to = -1;    ///< -1: still running
    pa_usec_t startedAt = 0; ///< when its first frame was captured (monotonic clock)
    int dropped = 0;
    bool ended = false;
};

} // namespace

/// One capture stream of the server and the takes that run on it.
struct CaptureLine {
    PulseAudioEngine::Impl* engine = nullptr;
    pa_stream* stream = nullptr;
    std::int64_t delivered = 0;
    bool held = false;        ///< the engine's held stream: it outlives its takes
    std::int64_t lastEnd = 0; ///< where the last finished take on it ends
    std::vector<std::shared_ptr<Take>> takes;
    std::vector<std::int16_t> silence;

    [[nodiscard]] bool isReady() const { return stream && pa_stream_get_state(stream) == PA_STREAM_READY; }

    /// The frame being captured now: what was delivered and what is still on its way.
    [[nodiscard]] std::int64_t now() const
    {
        pa_usec_t latency = 0;
        int negative = 0;
        if (!stream || pa_stream_get_latency(stream, &latency, &negative) < 0 || negative)
            return delivered;
        return delivered + static_cast<std::int64_t>(latency * Pcm::SampleRate / PA_USEC_PER_SEC);
    }

    void deliver(const std::int16_t* data, std::size_t frames, bool hole)
    {
        const std::int64_t begin = delivered;
        const std::int64_t end = begin + static_cast<std::int64_t>(frames);
        delivered = end;
        for (const auto& t : takes) {
            const std::int64_t a = std::max(begin, t->from);
            const std::int64_t b = t->to < 0 ? end : std::min(end, t->to);
            if (a >= b)
                continue;
            t->dropped += hole ? 1 : 0;
            try {
                t->sink->write(data + (a - begin) * Pcm::Channels, static_cast<std::size_t>(b - a));
            } catch (...) {
                // A failing sink must not take the server's thread down; the recording goes on.
            }
        }
        endFinished();
    }

    /// Says `ended` to every finished take whose last frame has come, and lets it go.
    void endFinished()
    {
        for (auto it = takes.begin(); it != takes.end();) {
            const std::shared_ptr<Take> t = *it;
            if (t->to < 0 || delivered < t->to) {
                ++it;
                continue;
            }
            it = takes.erase(it);
            endTake(*t);
        }
    }

    static void endTake(Take& t)
    {
        if (t.ended)
            return;
        t.ended = true;
        try {
            t.sink->ended();
        } catch (...) {
        }
    }

    static void onRead(pa_stream* s, std::size_t, void* userdata)
    {
        auto* line = static_cast<CaptureLine*>(userdata);
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t len = 0;
            if (pa_stream_peek(s, &data, &len) < 0 || len == 0)
                return;
            const std::size_t frames = len / Pcm::BytesPerFrame;
            if (data) {
                line->deliver(static_cast<const std::int16_t*>(data), frames, false);
            } else {
                // A hole: the server dropped what was captured here. Its length in silence keeps
                // the timing of what follows; the take says it.
                line->silence.assign(frames * Pcm::Channels, 0);
                line->deliver(line->silence.data(), frames, true);
            }
            pa_stream_drop(s);
        }
    }

    static void onOverflow(pa_stream*, void* userdata)
    {
        for (const auto& t : static_cast<CaptureLine*>(userdata)->takes)
            ++t->dropped;
    }

    static void onState(pa_stream* s, void* userdata)
    {
        auto* line = static_cast<CaptureLine*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            // The server went away: nothing more comes, so a finished take ends with what it has.
            for (const auto& t : line->takes)
                if (t->to >= 0)
                    endTake(*t);
        }
        pa_threaded_mainloop_signal(line->engine->loop, 0);
    }

    /// Under the lock: asks the server for the stream; false when it refused at once.
    bool open()
    {
        PulseAudioEngine::Impl& d = *engine;
        const pa_channel_map map = stereoMap();
        stream = pa_stream_new(d.context, d.clientName.constData(), &SampleSpec, &map);
        if (!stream)
            return false;
        pa_stream_set_state_callback(stream, &CaptureLine::onState, this);
        pa_stream_set_read_callback(stream, &CaptureLine::onRead, this);
        pa_stream_set_overflow_callback(stream, &CaptureLine::onOverflow, this);
        const pa_buffer_attr attr = captureAttr();
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(stream, nullptr, &attr, flags) < 0) {
            release();
            return false;
        }
        return true;
    }

    /// Under the lock.
    void waitWhileCreating() const
    {
        while (engine->ready && stream && pa_stream_get_state(stream) == PA_STREAM_CREATING)
            pa_threaded_mainloop_wait(engine->loop);
    }

    void release()
    {
        if (!stream)
            return;
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
};

namespace {

class PulseInputStream final : public InputStream {
public:
    PulseInputStream(pa_threaded_mainloop* loop, std::shared_ptr<CaptureLine> line,
                     std::shared_ptr<Take> take)
        : m_loop(loop)
        , m_line(std::move(line))
        , m_take(std::move(take))
    {
    }
    ~PulseInputStream() override { stop(); }

    void stop() override
    {
        LoopLock lock(m_loop);
        if (!m_line)
            return;
        auto& takes = m_line->takes;
        takes.erase(std::remove(takes.begin(), takes.end(), m_take), takes.end());
        m_take->ended = true; // nothing more reaches the sink, not even its end
        if (!m_line->held && takes.empty())
            m_line->release();
        m_line.reset();
    }

    std::int64_t finish() override
    {
        LoopLock lock(m_loop);
        if (m_take->to >= 0 || !m_line)
            return std::max<std::int64_t>(m_take->to, m_take->from) - m_take->from;
        if (m_line->isReady()) {
            // As long as the time since its start: the server's own account of what it holds
            // in flight wavers by tens of milliseconds on a busy machine, the clock does not.
            const pa_usec_t elapsed = pa_rtclock_now() - m_take->startedAt;
            m_take->to =
                m_take->from + static_cast<std::int64_t>(elapsed * Pcm::SampleRate / PA_USEC_PER_SEC);
            m_line->lastEnd = std::max(m_line->lastEnd, m_take->to);
            m_line->endFinished(); // at once when all of it came already
        } else {
            // The stream failed: nothing more comes.
            m_take->to = std::max(m_line->delivered, m_take->from);
            auto& takes = m_line->takes;
            takes.erase(std::remove(takes.begin(), takes.end(), m_take), takes.end());
            CaptureLine::endTake(*m_take);
        }
        return m_take->to - m_take->from;
    }

    [[nodiscard]] int droppedBlocks() const override
    {
        LoopLock lock(m_loop);
        return m_take->dropped;
    }

private:
    pa_threaded_mainloop* m_loop;
    std::shared_ptr<CaptureLine> m_line;
    std::shared_ptr<Take> m_take;
};

} // namespace

void PulseAudioEngine::Impl::prepareHeldCapture()
{
    if (!ready || holdCount <= 0 || heldCapture)
        return;
    auto line = std::make_shared<CaptureLine>();
    line->engine = this;
    line->held = true;
    if (line->open())
        heldCapture = std::move(line);
}

void PulseAudioEngine::Impl::dropHeldCapture()
{
    if (!heldCapture)
        return;
    for (const auto& t : heldCapture->takes)
        if (t->to >= 0)
            CaptureLine::endTake(*t);
    heldCapture->held = false;
    heldCapture->release();
    heldCapture.reset();
}

void PulseAudioEngine::holdReady(bool hold)
{
    LoopLock lock(d->loop);
    d->holdCount += hold ? 1 : -1;
    if (d->holdCount > 0) {
        d->prepareHeldCapture();
        return;
    }
    d->holdCount = 0;
    if (!d->heldCapture)
        return;
    // Takes still running on it keep it until they end.
    d->heldCapture->held = false;
    if (d->heldCapture->takes.empty())
        d->heldCapture->release();
    d->heldCapture.reset();
}

std::unique_ptr<InputStream> PulseAudioEngine::startCapture(std::shared_ptr<PcmSink> sink)
{
    LoopLock lock(d->loop);
    for (int attempt = 0; attempt < 2 && !d->ready; ++attempt) {
        d->connectNowIfDown();
        d->waitWhileConnecting(ConnectWaitMs);
    }
    if (!d->ready)
        throw DeviceError(QStringLiteral("No audio input: ") + d->lastError);
    auto take = std::make_shared<Take>();
    take->sink = std::move(sink);
    // The held stream, once the server has opened it (just asked for, it may be on its way).
    d->prepareHeldCapture();
    if (d->heldCapture) {
        d->heldCapture->waitWhileCreating();
        if (d->heldCapture && d->heldCapture->isReady()) {
            // A take that follows one just finished (a pause and a resume) goes on where it
            // ended, repeating none of its frames.
            take->from = std::max(d->heldCapture->now(), d->heldCapture->lastEnd);
            take->startedAt = pa_rtclock_now();
            d->heldCapture->takes.push_back(take);
            return std::make_unique<PulseInputStream>(d->loop, d->heldCapture, take);
        }
        d->dropHeldCapture();
    }
    // A stream of its own: the take starts with its first frame.
    auto line = std::make_shared<CaptureLine>();
    line->engine = d.get();
    if (!line->open())
        throw DeviceError(QStringLiteral("No audio input: ") +
                          QString::fromUtf8(pa_strerror(pa_context_errno(d->context))));
    line->waitWhileCreating();
    if (!line->isReady()) {
        line->release();
        throw DeviceError(
            QStringLiteral("No audio input: ") +
            (d->context ? QString::fromUtf8(pa_strerror(pa_context_errno(d->context))) : d->lastError));
    }
    take->startedAt = pa_rtclock_now();
    line->takes.push_back(take);
    return std::make_unique<PulseInputStream>(d->loop, std::move(line), take);
}
