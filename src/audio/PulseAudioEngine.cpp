// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseAudioEngine.h"

#include "PulseAudioEngineImpl.h"

#include "platform/Errors.h"
#include "platform/Guard.h"
#include "platform/Realtime.h"

#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QMetaObject>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace {

/// The part of a playing stream that the server's thread works on.
struct Playback {
    PulseAudioEngine::Impl* engine = nullptr;
    pa_stream* stream = nullptr;
    std::shared_ptr<PcmSource> source;
    OutputStream* owner = nullptr;
    std::atomic<float> target{1.0f};
    float gain = 1.0f;
    bool ended = false;
    bool stopped = false;
    bool paused = false;
    bool finishPosted = false;
    pa_operation* drain = nullptr;
    pa_operation* timing = nullptr;      ///< the server's clock, asked for and not yet answered
    pa_time_event* timingTick = nullptr; ///< asks for it again while the stream plays
    pa_time_event* starved = nullptr;
    std::int64_t written = 0;
    std::int64_t played = 0;

    void begin()
    {
        engine->playing.append(stream);
        pa_stream_set_write_callback(stream, &Playback::onWrite, this);
        pa_stream_set_state_callback(stream, &Playback::onState, this);
        pa_stream_set_underflow_callback(stream, &Playback::onUnderflow, this);
        // Data first, then the uncork, so the server has sound the moment it lets the stream run.
        fill(pa_stream_writable_size(stream));
        unrefOperation(pa_stream_cork(stream, 0, nullptr, nullptr));
        askTiming();
        if (pa_context* c = pa_stream_get_context(stream))
            timingTick = pa_context_rttime_new(c, pa_rtclock_now() + TimingUs, &Playback::onTimingTick, this);
    }

    /// The server's clock, asked for behind what was sent already, and then every TimingUs while
    /// the stream plays; the library interpolates between answers. Left to itself, the library
    /// would ask after every write, and the server answers that only after a round trip to its
    /// sink's thread: asked before the un-cork, it held the sound back.
    void askTiming()
    {
        if (timing) {
            if (pa_operation_get_state(timing) == PA_OPERATION_RUNNING)
                return;
            pa_operation_unref(timing);
        }
        timing = pa_stream_update_timing_info(stream, nullptr, nullptr);
    }

    void fill(std::size_t bytes)
    {
        if (ended || stopped || !stream || bytes == static_cast<std::size_t>(-1))
            return;
        while (bytes >= Pcm::BytesPerFrame) {
            void* data = nullptr;
            std::size_t len = bytes;
            if (pa_stream_begin_write(stream, &data, &len) < 0 || !data)
                return;
            len = std::min(len, bytes) / Pcm::BytesPerFrame;
            std::size_t frames = 0;
            bool failed = false;
            if (len > 0) {
                try {
                    frames = std::min(source->read(static_cast<std::int16_t*>(data), len), len);
                } catch (...) {
                    failed = true;
                }
            }
            if (frames == 0) {
                pa_stream_cancel_write(stream);
                if (len == 0)
                    return;
                if (failed || source->exhausted()) {
                    ended = true;
                    drain = pa_stream_drain(stream, &Playback::onDrained, this);
                } else {
                    waitForSource();
                }
                return;
            }
            applyGain(static_cast<std::int16_t*>(data), frames);
            pa_stream_write(stream, data, frames * Pcm::BytesPerFrame, nullptr, 0, PA_SEEK_RELATIVE);
            written += static_cast<std::int64_t>(frames);
            bytes -= frames * Pcm::BytesPerFrame;
        }
    }

    void applyGain(std::int16_t* samples, std::size_t frames)
    {
        const float t = target.load(std::memory_order_relaxed);
        if (gain == t && t == 1.0f)
            return;
        if (gain == t && t == 0.0f) {
            std::memset(samples, 0, frames * Pcm::BytesPerFrame);
            return;
        }
        for (std::size_t i = 0; i < frames; ++i) {
            if (gain < t)
                gain = std::min(t, gain + GainStepPerFrame);
            else if (gain > t)
                gain = std::max(t, gain - GainStepPerFrame);
            for (int c = 0; c < Pcm::Channels; ++c) {
                std::int16_t& s = samples[i * Pcm::Channels + static_cast<std::size_t>(c)];
                // Saturates: a raised song whose peak was measured wrongly clips, it never wraps.
                s = static_cast<std::int16_t>(
                    std::clamp(std::lrintf(static_cast<float>(s) * gain), -32768L, 32767L));
            }
        }
    }

    /// The source fell behind: ask it again shortly rather than wait for the server's next request.
    void waitForSource()
    {
        if (starved)
            return;
        pa_context* c = pa_stream_get_context(stream);
        if (c)
            starved = pa_context_rttime_new(c, pa_rtclock_now() + StarvedRetryUs, &Playback::onStarved, this);
    }

    void postFinished()
    {
        if (finishPosted || stopped)
            return;
        finishPosted = true;
        OutputStream* o = owner;
        QMetaObject::invokeMethod(
            o, [o] { guard([o] { Q_EMIT o->finished(); }); }, Qt::QueuedConnection);
    }

    void postFailed(pa_stream* s)
    {
        if (finishPosted || stopped)
            return;
        finishPosted = true;
        pa_context* c = pa_stream_get_context(s);
        int error = c ? pa_context_errno(c) : PA_ERR_CONNECTIONTERMINATED;
        if (error == PA_OK || error == PA_ERR_BADSTATE) // the context was let go of already
            error = PA_ERR_CONNECTIONTERMINATED;
        const QString reason = QString::fromUtf8(pa_strerror(error));
        OutputStream* o = owner;
        QMetaObject::invokeMethod(
            o, [o, reason] { guard([&] { Q_EMIT o->failed(reason); }); }, Qt::QueuedConnection);
    }

    void release()
    {
        if (!stream)
            return;
        if (starved) {
            engine->api()->time_free(starved);
            starved = nullptr;
        }
        if (drain) {
            pa_operation_cancel(drain);
            pa_operation_unref(drain);
            drain = nullptr;
        }
        if (timing) {
            pa_operation_cancel(timing);
            pa_operation_unref(timing);
            timing = nullptr;
        }
        if (timingTick) {
            engine->api()->time_free(timingTick);
            timingTick = nullptr;
        }
        engine->playing.removeAll(stream);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    static void onWrite(pa_stream*, std::size_t bytes, void* userdata)
    {
        static_cast<Playback*>(userdata)->fill(bytes);
    }

    static void onState(pa_stream* s, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
            p->postFailed(s); // the server went away: the song did not end, it was cut off
    }

    static void onUnderflow(pa_stream* s, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        // Running dry after the last frame is how a song ends. The news may come after the
        // last frame was written though it ran dry before: where it ran dry tells them apart.
        const std::int64_t at = pa_stream_get_underflow_index(s);
        const bool beforeTheEnd = at >= 0 ? at < p->written * Pcm::BytesPerFrame : !p->ended;
        if (beforeTheEnd)
            p->engine->underflows.fetch_add(1, std::memory_order_relaxed);
    }

    static void onDrained(pa_stream*, int success, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        unrefOperation(p->drain);
        p->drain = nullptr;
        if (success) {
            p->played = p->written;
            p->postFinished();
        }
    }

    static void onTimingTick(pa_mainloop_api*, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        if (!p->stream)
            return;
        if (!p->paused)
            p->askTiming();
        if (pa_context* c = pa_stream_get_context(p->stream))
            pa_context_rttime_restart(c, e, pa_rtclock_now() + TimingUs);
    }

    static void onStarved(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        api->time_free(e);
        p->starved = nullptr;
        if (p->stream)
            p->fill(pa_stream_writable_size(p->stream));
    }
};

class PulseOutputStream final : public OutputStream {
public:
    PulseOutputStream(PulseAudioEngine::Impl& engine, pa_stream* stream, std::shared_ptr<PcmSource> source,
                      double gain)
        : m_loop(engine.loop)
    {
        m_p.engine = &engine;
        m_p.stream = stream;
        m_p.source = std::move(source);
        m_p.owner = this;
        m_p.gain = static_cast<float>(std::clamp(gain, 0.0, MaxGain));
        m_p.target.store(m_p.gain);
    }

    ~PulseOutputStream() override
    {
        LoopLock lock(m_loop);
        m_p.stopped = true;
        m_p.release();
    }

    /// Under the lock.
    void begin() { m_p.begin(); }

    void pause() override
    {
        LoopLock lock(m_loop);
        if (!m_p.stream || m_p.paused)
            return;
        // Where it stands now is where it resumes: the server's later answers may still count
        // what its graph played out after the cork (PipeWire's does).
        updatePlayed();
        unrefOperation(pa_stream_cork(m_p.stream, 1, nullptr, nullptr));
        m_p.paused = true;
    }

    void resume() override
    {
        LoopLock lock(m_loop);
        if (!m_p.stream || !m_p.paused)
            return;
        unrefOperation(pa_stream_cork(m_p.stream, 0, nullptr, nullptr));
        m_p.askTiming();
        m_p.paused = false;
    }

    void stop() override
    {
        LoopLock lock(m_loop);
        if (!m_p.paused)
            updatePlayed();
        m_p.stopped = true;
        m_p.release();
    }

    [[nodiscard]] bool isPaused() const override
    {
        LoopLock lock(m_loop);
        return m_p.paused;
    }

    [[nodiscard]] std::int64_t framesPlayed() const override
    {
        LoopLock lock(m_loop);
        if (!m_p.paused)
            updatePlayed();
        return m_p.played;
    }

    void setGain(double gain) override
    {
        m_p.target.store(static_cast<float>(std::clamp(gain, 0.0, MaxGain)));
    }

private:
    void updatePlayed() const
    {
        if (!m_p.stream || pa_stream_get_state(m_p.stream) != PA_STREAM_READY)
            return;
        pa_usec_t t = 0;
        if (pa_stream_get_time(m_p.stream, &t) < 0)
            return;
        const auto frames = static_cast<std::int64_t>(t * Pcm::SampleRate / PA_USEC_PER_SEC);
        m_p.played = std::clamp(frames, m_p.played, std::max(m_p.played, m_p.written));
    }

    pa_threaded_mainloop* m_loop;
    mutable Playback m_p;
};

} // namespace

PulseAudioEngine::PulseAudioEngine(const QString& clientName, const QString& server, Routing routing)
    : d(std::make_unique<Impl>())
{
    d->chosenOnly = routing == Routing::ChosenOnly;
    d->clientName = clientName.toUtf8();
    d->server = server.toUtf8();
    d->loop = pa_threaded_mainloop_new();
    if (!d->loop)
        throw NoAudioOutput(QStringLiteral("No audio output: cannot start the audio thread"));
    pa_threaded_mainloop_set_name(d->loop, "sonavex-audio");
    {
        LoopLock lock(d->loop);
        d->connect();
    }
    if (pa_threaded_mainloop_start(d->loop) < 0) {
        pa_threaded_mainloop_free(d->loop);
        throw NoAudioOutput(QStringLiteral("No audio output: cannot start the audio thread"));
    }
    // The thread that writes to the server runs real-time where allowed, so that a busy
    // machine delays neither a start nor the stream's next block.
    pid_t audioThread = 0;
    {
        LoopLock lock(d->loop);
        struct Ask {
            pa_threaded_mainloop* loop;
            pid_t* tid;
        } ask{d->loop, &audioThread};
        d->api()->defer_new(
            d->api(),
            [](pa_mainloop_api* api, pa_defer_event* e, void* userdata) {
                auto* a = static_cast<Ask*>(userdata);
                api->defer_free(e);
                *a->tid = Realtime::currentThread();
                pa_threaded_mainloop_signal(a->loop, 0);
            },
            &ask);
        while (audioThread == 0)
            pa_threaded_mainloop_wait(d->loop);
    }
    Realtime::makeRealtime(audioThread, Realtime::StreamPriority);
}

PulseAudioEngine::~PulseAudioEngine()
{
    {
        LoopLock lock(d->loop);
        if (d->reconnect) {
            d->api()->time_free(d->reconnect);
            d->reconnect = nullptr;
        }
        d->dropContext();
    }
    pa_threaded_mainloop_stop(d->loop);
    pa_threaded_mainloop_free(d->loop);
}

std::unique_ptr<OutputStream> PulseAudioEngine::start(std::shared_ptr<PcmSource> source)
{
    return startWithGain(std::move(source), 1.0);
}

std::unique_ptr<OutputStream> PulseAudioEngine::startWithGain(std::shared_ptr<PcmSource> source, double gain)
{
    LoopLock lock(d->loop);
    pa_stream* s = d->takeStandby();
    auto stream = std::make_unique<PulseOutputStream>(*d, s, std::move(source), gain);
    stream->begin();
    d->prepareStandbyLater(); // the next start finds its stream open again
    return stream;
}

bool PulseAudioEngine::isConnected() const
{
    LoopLock lock(d->loop);
    return d->ready;
}

int PulseAudioEngine::underflowCount() const
{
    return d->underflows.load(std::memory_order_relaxed);
}

bool PulseAudioEngine::waitConnected(int msecs)
{
    LoopLock lock(d->loop);
    d->waitWhileConnecting(msecs, true);
    return d->ready;
}

QList<OutputDevices::Device> PulseAudioEngine::outputDevices()
{
    LoopLock lock(d->loop);
    d->waitWhileConnecting(ConnectWaitMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ConnectWaitMs);
    while (d->ready && !d->sinksListed && std::chrono::steady_clock::now() < deadline)
        pa_threaded_mainloop_wait(d->loop);
    return d->sinks.values();
}

void PulseAudioEngine::setOutputDevice(const QString& name)
{
    LoopLock lock(d->loop);
    if (d->chosenSink == name.toUtf8())
        return;
    d->tellBack(); // what was said of the output chosen before no longer holds
    d->chosenSink = name.toUtf8();
    d->chosenMissing = false;
    if (d->sinksListed && !d->chosenPresent()) {
        d->chosenMissing = true;
        d->tellMissing();
    }
    d->dropStandby();
    d->prepareStandby();
    d->movePlaying();
}

QString PulseAudioEngine::outputDevice() const
{
    LoopLock lock(d->loop);
    return QString::fromUtf8(d->chosenSink);
}

void PulseAudioEngine::setOutputMissingHandler(
    std::function<void(const QString& output, bool missing)> handler)
{
    LoopLock lock(d->loop);
    d->missingHandler = std::move(handler);
}

void PulseAudioEngine::setServerLostHandler(std::function<void(const QString& message)> handler)
{
    LoopLock lock(d->loop);
    d->serverHandler = std::move(handler);
    // A server already found missing before anyone listened is said now.
    if (d->serverLostTold) {
        d->serverLostTold = false;
        d->tellServer(true);
    }
}
