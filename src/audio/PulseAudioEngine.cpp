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
#include <vector>

namespace {

/// A stream on one channel gets the song's two sides mixed, read this many frames at a time.
constexpr std::size_t MonoBlockFrames = 2048;
/// A stream moved to the show's output that the server refused is opened again this often, this much later.
constexpr int ReopenTries = 5;
constexpr pa_usec_t ReopenDelayUs = 50000;

/// The part of a playing stream that the server's thread works on.
struct Playback {
    PulseAudioEngine::Impl* engine = nullptr;
    pa_stream* stream = nullptr;
    std::shared_ptr<PcmSource> source;
    OutputStream* owner = nullptr;
    std::atomic<float> target{1.0f};
    float gain = 1.0f;
    /// The mix gain on top of the gain, and how far it moves per frame towards its target.
    std::atomic<float> mixTarget{1.0f};
    std::atomic<float> mixStep{GainStepPerFrame};
    float mix = 1.0f;
    std::atomic<float> mixNow{1.0f}; ///< `mix` as the other threads may read it
    int channels = Pcm::Channels;    ///< of the server's stream: 1 is the song's two sides mixed
    std::vector<std::int16_t> monoBlock;
    /// On a sink of its own (a route): should that sink go, the sound goes on on the show's output.
    bool routed = false;
    QList<Playback*>* routeStreams = nullptr; ///< the route's list of its streams, while on it
    int reopenTries = 0;                      ///< left to open it on the show's output, once moved
    pa_time_event* reopen = nullptr;
    bool ended = false;
    bool stopped = false;
    bool paused = false;
    bool finishPosted = false;
    pa_operation* drain = nullptr;
    pa_operation* timing = nullptr;      ///< the server's clock, asked for and not yet answered
    pa_time_event* timingTick = nullptr; ///< asks for it again while the stream plays
    pa_time_event* starved = nullptr;
    std::int64_t written = 0; ///< to the server's stream now open
    std::int64_t played = 0;
    std::int64_t earlier = 0; ///< frames sent to the streams this one had before (see relocate)

    [[nodiscard]] std::size_t bytesPerFrame() const { return static_cast<std::size_t>(channels) * 2; }

    void begin()
    {
        if (channels == 1)
            monoBlock.resize(MonoBlockFrames * Pcm::Channels);
        if (!routed)
            engine->playing.append(stream);
        else if (routeStreams)
            routeStreams->append(this);
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
        const std::size_t frameBytes = bytesPerFrame();
        while (bytes >= frameBytes) {
            void* data = nullptr;
            std::size_t len = bytes;
            if (pa_stream_begin_write(stream, &data, &len) < 0 || !data)
                return;
            len = std::min(len, bytes) / frameBytes;
            const bool mono = channels == 1;
            if (mono)
                len = std::min(len, MonoBlockFrames);
            auto* pcm = mono ? monoBlock.data() : static_cast<std::int16_t*>(data);
            std::size_t frames = 0;
            bool failed = false;
            if (len > 0) {
                try {
                    frames = std::min(source->read(pcm, len), len);
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
            applyGain(pcm, frames);
            if (mono) {
                auto* out = static_cast<std::int16_t*>(data);
                for (std::size_t i = 0; i < frames; ++i)
                    out[i] = static_cast<std::int16_t>((pcm[2 * i] + pcm[2 * i + 1]) / 2);
            }
            pa_stream_write(stream, data, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            written += static_cast<std::int64_t>(frames);
            bytes -= frames * frameBytes;
        }
    }

    /// Scales by the gain and the mix gain, each moving towards its target, and keeps the
    /// engine's peak of what is sent.
    void applyGain(std::int16_t* samples, std::size_t frames)
    {
        const float t = target.load(std::memory_order_relaxed);
        const float m = mixTarget.load(std::memory_order_acquire);
        const std::size_t count = frames * Pcm::Channels;
        if (gain == t && mix == m && t * m == 1.0f) {
            int top = 0;
            for (std::size_t i = 0; i < count; ++i)
                top = std::max(top, std::abs(static_cast<int>(samples[i])));
            engine->raisePeak(static_cast<float>(top) / 32768.0f);
            return;
        }
        if (gain == t && mix == m && t * m == 0.0f) {
            std::memset(samples, 0, count * sizeof(std::int16_t));
            return;
        }
        const float mixPerFrame = mixStep.load(std::memory_order_relaxed);
        long top = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            if (gain < t)
                gain = std::min(t, gain + GainStepPerFrame);
            else if (gain > t)
                gain = std::max(t, gain - GainStepPerFrame);
            if (mix < m)
                mix = std::min(m, mix + mixPerFrame);
            else if (mix > m)
                mix = std::max(m, mix - mixPerFrame);
            const float g = gain * mix;
            for (int c = 0; c < Pcm::Channels; ++c) {
                std::int16_t& s = samples[i * Pcm::Channels + static_cast<std::size_t>(c)];
                // Saturates: a raised song whose peak was measured wrongly clips, it never wraps.
                const long v = std::lrintf(static_cast<float>(s) * g);
                top = std::max(top, std::abs(v));
                s = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
            }
        }
        mixNow.store(mix, std::memory_order_relaxed);
        engine->raisePeak(static_cast<float>(top) / 32768.0f);
    }

    void setMixGain(double gainTo, double rampSeconds)
    {
        const float to = static_cast<float>(std::clamp(gainTo, 0.0, MaxGain));
        const float from = mixNow.load(std::memory_order_relaxed);
        const double frames = rampSeconds * Pcm::SampleRate;
        float step = GainStepPerFrame;
        if (frames >= 1.0)
            step = std::max(static_cast<float>(std::abs(to - from) / frames), 1e-7f);
        mixStep.store(step, std::memory_order_relaxed);
        mixTarget.store(to, std::memory_order_release);
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
        // The timers first: between two streams (see reopenLater) they run without one.
        for (pa_time_event** e : {&reopen, &starved, &timingTick}) {
            if (*e) {
                engine->api()->time_free(*e);
                *e = nullptr;
            }
        }
        if (!stream)
            return;
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
        engine->playing.removeAll(stream);
        leaveRoute();
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
        if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)
            return;
        pa_context* c = pa_stream_get_context(s);
        const bool serverUp = !p->stopped && c && pa_context_get_state(c) == PA_CONTEXT_READY;
        if (p->routed && serverUp) {
            p->relocate(); // its sink went away, the server did not
            return;
        }
        if (serverUp && p->reopenTries > 0 && p->written == 0) {
            p->reopenLater();
            return;
        }
        p->postFailed(s); // the server went away: the song did not end, it was cut off
    }

    void leaveRoute()
    {
        if (routeStreams)
            routeStreams->removeAll(this);
        routeStreams = nullptr;
    }

    /// The sink of a routed stream went away: the song goes on on the show's output, from where
    /// it was sent to (what the old sink still held is lost). The server may have ended the
    /// stream (PulseAudio does) or left it waiting for its sink (PipeWire does).
    void relocate()
    {
        leaveRoute();
        if (ended) {
            postFinished();
            return;
        }
        dropStream();
        routed = false;
        channels = Pcm::Channels;
        reopenTries = ReopenTries;
        openOnShow();
    }

    /// Lets go of the server's stream, counting what was sent to it as played.
    void dropStream()
    {
        earlier += written;
        written = 0;
        for (pa_operation** op : {&drain, &timing}) {
            if (*op) {
                pa_operation_cancel(*op);
                pa_operation_unref(*op);
                *op = nullptr;
            }
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

    /// Opens the stream anew on the show's output.
    void openOnShow()
    {
        const pa_channel_map map = stereoMap();
        pa_stream* s = pa_stream_new(engine->context, engine->clientName.constData(), &SampleSpec, &map);
        if (!s) {
            postLost();
            return;
        }
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING);
        if (paused)
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
        const pa_buffer_attr attr = playbackAttr(engine->pipeWire);
        const bool onChosen = !engine->chosenSink.isEmpty() && !engine->chosenMissing;
        if (pa_stream_connect_playback(s, onChosen ? engine->chosenSink.constData() : nullptr, &attr, flags,
                                       nullptr, nullptr) < 0) {
            pa_stream_unref(s);
            postLost();
            return;
        }
        stream = s;
        engine->playing.append(stream);
        pa_stream_set_write_callback(stream, &Playback::onWrite, this);
        pa_stream_set_state_callback(stream, &Playback::onState, this);
        pa_stream_set_underflow_callback(stream, &Playback::onUnderflow, this);
    }

    /// The server refused the stream opened anew: while it is still taking the old sink away
    /// it may (PipeWire did, now and then). Again a little later.
    void reopenLater()
    {
        dropStream();
        --reopenTries;
        reopen = pa_context_rttime_new(engine->context, pa_rtclock_now() + ReopenDelayUs, &Playback::onReopen,
                                       this);
    }

    static void onReopen(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        api->time_free(e);
        p->reopen = nullptr;
        if (!p->stopped && !p->stream && p->engine->context)
            p->openOnShow();
    }

    /// A stream that could not be opened again: as if the server had gone.
    void postLost()
    {
        if (finishPosted || stopped)
            return;
        finishPosted = true;
        const QString reason = QString::fromUtf8(pa_strerror(pa_context_errno(engine->context)));
        OutputStream* o = owner;
        QMetaObject::invokeMethod(
            o, [o, reason] { guard([&] { Q_EMIT o->failed(reason); }); }, Qt::QueuedConnection);
    }

    static void onUnderflow(pa_stream* s, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        // Running dry after the last frame is how a song ends. The news may come after the
        // last frame was written though it ran dry before: where it ran dry tells them apart.
        const std::int64_t at = pa_stream_get_underflow_index(s);
        const bool beforeTheEnd =
            at >= 0 ? at < p->written * static_cast<std::int64_t>(p->bytesPerFrame()) : !p->ended;
        if (beforeTheEnd)
            p->engine->underflows.fetch_add(1, std::memory_order_relaxed);
    }

    static void onDrained(pa_stream*, int success, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        unrefOperation(p->drain);
        p->drain = nullptr;
        if (success) {
            p->played = p->earlier + p->written;
            p->postFinished();
        }
    }

    static void onTimingTick(pa_mainloop_api*, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        if (p->stream && !p->paused)
            p->askTiming();
        if (p->engine->context)
            pa_context_rttime_restart(p->engine->context, e, pa_rtclock_now() + TimingUs);
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
    /// `channels`: of `stream`, 1 or 2; `routed`: on a route's sink (see Playback::relocate).
    PulseOutputStream(PulseAudioEngine::Impl& engine, pa_stream* stream, std::shared_ptr<PcmSource> source,
                      double gain, double mixGain = 1.0, int channels = Pcm::Channels, bool routed = false)
        : m_loop(engine.loop)
    {
        m_p.engine = &engine;
        m_p.stream = stream;
        m_p.source = std::move(source);
        m_p.owner = this;
        m_p.gain = static_cast<float>(std::clamp(gain, 0.0, MaxGain));
        m_p.target.store(m_p.gain);
        m_p.mix = static_cast<float>(std::clamp(mixGain, 0.0, MaxGain));
        m_p.mixTarget.store(m_p.mix);
        m_p.mixNow.store(m_p.mix);
        m_p.channels = channels;
        m_p.routed = routed;
    }

    ~PulseOutputStream() override
    {
        LoopLock lock(m_loop);
        m_p.stopped = true;
        m_p.release();
    }

    /// Under the lock. `routeStreams`: the list of the route it plays on, if routed.
    void begin(QList<Playback*>* routeStreams = nullptr)
    {
        m_p.routeStreams = routeStreams;
        m_p.begin();
    }

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

    void setMixGain(double gain, double rampSeconds) override { m_p.setMixGain(gain, rampSeconds); }

private:
    void updatePlayed() const
    {
        if (!m_p.stream || pa_stream_get_state(m_p.stream) != PA_STREAM_READY)
            return;
        pa_usec_t t = 0;
        if (pa_stream_get_time(m_p.stream, &t) < 0)
            return;
        const auto frames = m_p.earlier + static_cast<std::int64_t>(t * Pcm::SampleRate / PA_USEC_PER_SEC);
        m_p.played = std::clamp(frames, m_p.played, std::max(m_p.played, m_p.earlier + m_p.written));
    }

    pa_threaded_mainloop* m_loop;
    mutable Playback m_p;
};

} // namespace

/// One route of the engine: a sink other than the show's, or some of its channels. It keeps a
/// stream open and corked on them for the next start, as the engine does for the show's output.
/// Everything here is used under the loop's lock.
struct RouteLine {
    PulseAudioEngine::Impl* engine = nullptr;
    QByteArray sink; ///< empty: the sink the show plays on
    int firstChannel = 0;
    int channelCount = 2;
    std::function<void(const QString& message, bool missing)> handler;
    bool present = false; ///< the sink and its channels are there, as last checked
    bool checked = false;
    bool told = false; ///< its absence was told
    pa_stream* standby = nullptr;
    pa_time_event* standbyLater = nullptr;
    QList<Playback*> playing; ///< the streams on it

    [[nodiscard]] QByteArray sinkName() const
    {
        if (!sink.isEmpty())
            return sink;
        if (!engine->chosenSink.isEmpty() && !engine->chosenMissing)
            return engine->chosenSink;
        return engine->defaultSink;
    }

    /// The channel map of a stream on exactly the chosen channels of the sink as it is now;
    /// false while the sink or those channels are not there.
    bool streamMap(pa_channel_map* map) const
    {
        const QString name = QString::fromUtf8(sinkName());
        for (auto it = engine->sinks.cbegin(); it != engine->sinks.cend(); ++it) {
            if (it->name != name)
                continue;
            if (firstChannel <= 0) { // the sink's own stereo
                *map = stereoMap();
                return true;
            }
            const pa_channel_map own = engine->sinkMaps.value(it.key());
            if (firstChannel + channelCount - 1 > static_cast<int>(own.channels))
                return false;
            pa_channel_map_init(map);
            map->channels = static_cast<std::uint8_t>(channelCount);
            for (int c = 0; c < channelCount; ++c)
                map->map[c] = own.map[firstChannel - 1 + c];
            return true;
        }
        return false;
    }

    [[nodiscard]] QString described() const
    {
        const QString name = QString::fromUtf8(sinkName());
        return engine->descriptions.value(name, name);
    }

    /// The sinks changed: says once that the route's output went or came back.
    void check()
    {
        if (!engine->sinksListed)
            return;
        pa_channel_map map;
        const bool now = streamMap(&map);
        if (checked && now == present)
            return;
        checked = true;
        present = now;
        dropStandby();
        if (present) {
            tell(false);
            prepareStandby();
        } else {
            tell(true);
            const QList<Playback*> moving = playing;
            for (Playback* p : moving)
                if (!p->finishPosted) // not one already cut off with the server
                    p->relocate();
        }
    }

    void tell(bool missing)
    {
        if (missing == told)
            return;
        told = missing;
        if (!handler)
            return;
        const QString message =
            missing ? QStringLiteral("Output %1 not found: plays on the show's output").arg(described())
                    : QStringLiteral("Output %1 is back").arg(described());
        auto h = handler;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [h, message, missing] { guard([&] { h(message, missing); }); },
            Qt::QueuedConnection);
    }

    void prepareStandby()
    {
        dropStandbyLater();
        if (standby || !engine->ready || !engine->named || !present)
            return;
        pa_channel_map map;
        if (!streamMap(&map))
            return;
        const pa_sample_spec format{PA_SAMPLE_S16LE, Pcm::SampleRate, map.channels};
        pa_stream* s = pa_stream_new(engine->context, engine->clientName.constData(), &format, &map);
        if (!s)
            return;
        pa_stream_set_state_callback(s, &PulseAudioEngine::Impl::onStreamStateSignal, engine);
        const pa_buffer_attr attr = playbackAttr(engine->pipeWire, format);
        // Its own sink and nowhere else: when the sink goes, the stream is opened again on the
        // show's output (Playback::relocate) rather than moved by the server onto channels it
        // was not made for. On chosen channels, the server copies it there and mixes it nowhere.
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                    PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_DONT_MOVE);
        if (firstChannel > 0)
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_NO_REMIX_CHANNELS);
        const QByteArray name = sinkName();
        if (pa_stream_connect_playback(s, name.constData(), &attr, flags, nullptr, nullptr) < 0) {
            pa_stream_unref(s);
            return;
        }
        standby = s;
    }

    void dropStandby()
    {
        dropStandbyLater();
        if (!standby)
            return;
        pa_stream_set_state_callback(standby, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(standby)))
            pa_stream_disconnect(standby);
        pa_stream_unref(standby);
        standby = nullptr;
    }

    /// After a start, as the engine's own: the next stream is asked for when this one is under way.
    void prepareStandbyLater()
    {
        if (standbyLater || !engine->context)
            return;
        standbyLater = pa_context_rttime_new(engine->context, pa_rtclock_now() + StandbyDelayUs,
                                             &RouteLine::onStandbyLater, this);
    }

    void dropStandbyLater()
    {
        if (!standbyLater)
            return;
        engine->api()->time_free(standbyLater);
        standbyLater = nullptr;
    }

    static void onStandbyLater(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* r = static_cast<RouteLine*>(userdata);
        api->time_free(e);
        r->standbyLater = nullptr;
        r->prepareStandby();
    }

    /// A stream ready on the route, its channel count in `channels`; null when the route's
    /// output is not there (told) or the server would not open one on it.
    pa_stream* take(int* channels)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ConnectWaitMs);
        while (engine->ready && !engine->sinksListed && std::chrono::steady_clock::now() < deadline)
            pa_threaded_mainloop_wait(engine->loop);
        check();
        for (int attempt = 0; attempt < 2 && present; ++attempt) {
            prepareStandby();
            while (engine->ready && standby && pa_stream_get_state(standby) == PA_STREAM_CREATING)
                pa_threaded_mainloop_wait(engine->loop);
            if (standby && pa_stream_get_state(standby) == PA_STREAM_READY) {
                pa_stream* s = standby;
                standby = nullptr;
                pa_stream_set_state_callback(s, nullptr, nullptr);
                *channels = pa_stream_get_channel_map(s)->channels;
                return s;
            }
            dropStandby();
        }
        tell(true);
        return nullptr;
    }
};

void PulseAudioEngine::Impl::checkRoutes()
{
    for (RouteLine* r : std::as_const(routes))
        r->check();
}

void PulseAudioEngine::Impl::dropRouteStandbys()
{
    for (RouteLine* r : std::as_const(routes)) {
        r->dropStandby();
        r->checked = false; // the next listing says whether it changed meanwhile
    }
}

namespace {

/// An output of the engine on a route's sink and channels; the show's output while they are not there.
class RouteOutput final : public AudioOutput {
public:
    RouteOutput(PulseAudioEngine::Impl& engine, const QString& sink, int firstChannel, int channelCount,
                std::function<void(const QString& message, bool missing)> handler)
        : m_engine(engine)
    {
        m_line.engine = &engine;
        m_line.sink = sink.toUtf8();
        m_line.firstChannel = std::max(0, firstChannel);
        m_line.channelCount = std::clamp(channelCount, 1, 2);
        m_line.handler = std::move(handler);
        LoopLock lock(engine.loop);
        engine.routes.append(&m_line);
        m_line.check();
    }

    ~RouteOutput() override
    {
        LoopLock lock(m_engine.loop);
        m_line.dropStandby();
        m_engine.routes.removeAll(&m_line);
    }

    std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) override
    {
        return startMixed(std::move(source), 1.0, 1.0);
    }
    std::unique_ptr<OutputStream> startWithGain(std::shared_ptr<PcmSource> source, double gain) override
    {
        return startMixed(std::move(source), gain, 1.0);
    }
    std::unique_ptr<OutputStream> startMixed(std::shared_ptr<PcmSource> source, double gain,
                                             double mixGain) override
    {
        LoopLock lock(m_engine.loop);
        m_engine.waitReady();
        int channels = Pcm::Channels;
        pa_stream* s = m_line.take(&channels);
        const bool routed = s != nullptr;
        if (!s) {
            s = m_engine.takeStandby();
            channels = Pcm::Channels;
        }
        auto stream = std::make_unique<PulseOutputStream>(m_engine, s, std::move(source), gain, mixGain,
                                                          channels, routed);
        stream->begin(routed ? &m_line.playing : nullptr);
        if (routed)
            m_line.prepareStandbyLater();
        else
            m_engine.prepareStandbyLater();
        return stream;
    }

private:
    PulseAudioEngine::Impl& m_engine;
    RouteLine m_line;
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
    return startMixed(std::move(source), gain, 1.0);
}

std::unique_ptr<OutputStream> PulseAudioEngine::startMixed(std::shared_ptr<PcmSource> source, double gain,
                                                           double mixGain)
{
    LoopLock lock(d->loop);
    pa_stream* s = d->takeStandby();
    auto stream = std::make_unique<PulseOutputStream>(*d, s, std::move(source), gain, mixGain);
    stream->begin();
    d->prepareStandbyLater(); // the next start finds its stream open again
    return stream;
}

bool PulseAudioEngine::isConnected() const
{
    LoopLock lock(d->loop);
    return d->ready;
}

std::unique_ptr<AudioOutput>
PulseAudioEngine::routeOutput(const QString& sink, int firstChannel, int channelCount,
                              std::function<void(const QString& message, bool missing)> missingHandler)
{
    return std::make_unique<RouteOutput>(*d, sink, firstChannel, channelCount, std::move(missingHandler));
}

double PulseAudioEngine::takePeak()
{
    return d->peak.exchange(0.0f, std::memory_order_relaxed);
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
    d->checkRoutes(); // those on the show's own sink
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
