// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseAudioEngine.h"

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

/// What a stream keeps buffered at the server. A start does not wait for it (the data is written
/// at once from memory), but it is what rides out a busy machine: at 20 ms streams ran dry a few
/// times a minute with two cores under full load, at 40 ms they did not.
constexpr pa_usec_t TargetLatencyUs = 40000;
constexpr pa_usec_t RequestUs = 10000;
constexpr pa_usec_t PrebufUs = 2000;
constexpr pa_usec_t CaptureFragmentUs = 20000;
constexpr pa_usec_t ReconnectUs = 500000;
constexpr pa_usec_t StarvedRetryUs = 5000;
/// A gain change moves at most this much per frame: silence to full level in 5 ms.
constexpr float GainStepPerFrame = 1.0f / 220.0f;
/// The most a stream is raised (+24 dB): a quiet song brought up to the others.
constexpr double MaxGain = 16.0;
/// A start while the connection is being made waits this long for it.
constexpr int ConnectWaitMs = 1500;
constexpr std::uint32_t ServerDefault = std::numeric_limits<std::uint32_t>::max();

const pa_sample_spec SampleSpec{PA_SAMPLE_S16LE, Pcm::SampleRate, Pcm::Channels};

pa_buffer_attr playbackAttr()
{
    pa_buffer_attr a{};
    a.maxlength = ServerDefault;
    a.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUs, &SampleSpec));
    a.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(PrebufUs, &SampleSpec));
    a.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(RequestUs, &SampleSpec));
    a.fragsize = ServerDefault;
    return a;
}

pa_buffer_attr captureAttr()
{
    pa_buffer_attr a{};
    a.maxlength = ServerDefault;
    a.tlength = ServerDefault;
    a.prebuf = ServerDefault;
    a.minreq = ServerDefault;
    a.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(CaptureFragmentUs, &SampleSpec));
    return a;
}

pa_channel_map stereoMap()
{
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    return map;
}

class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop)
        : m_loop(loop)
    {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

void unrefOperation(pa_operation* op)
{
    if (op)
        pa_operation_unref(op);
}

} // namespace

struct PulseAudioEngine::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* standby = nullptr;
    pa_time_event* reconnect = nullptr;
    bool ready = false;
    bool connecting = false;
    std::atomic<int> underflows{0};
    QString lastError = QStringLiteral("not connected to the audio server");
    QByteArray clientName;
    QByteArray server;

    // The output songs play on. Everything here is used under the loop's lock.
    QByteArray chosenSink;        ///< empty: the server's default sink
    bool chosenMissing = false;   ///< the chosen sink is not there: the default one plays meanwhile
    bool missingTold = false;     ///< the operator heard of this absence already
    bool sinksListed = false;     ///< `sinks` holds the server's sinks
    bool standbyOnChosen = false; ///< the standby stream was asked for on the chosen sink
    QMap<std::uint32_t, OutputDevices::Device> sinks; ///< by the server's index
    QList<pa_stream*> playing;                        ///< the playback streams started and not yet released
    std::function<void(const QString&, bool)> missingHandler;
    bool serverLostTold = false; ///< the operator heard that the server is not there
    std::function<void(const QString&)> serverHandler;

    [[nodiscard]] pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop); }

    void connect()
    {
        connecting = true;
        context = pa_context_new(api(), clientName.constData());
        if (!context) {
            lastError = QStringLiteral("cannot create a client of the audio server");
            connecting = false;
            scheduleReconnect();
            return;
        }
        pa_context_set_state_callback(context, &Impl::onContextState, this);
        if (pa_context_connect(context, server.isEmpty() ? nullptr : server.constData(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            // The state callback may already have handled the failure.
            if (context) {
                lastError = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
                connecting = false;
                dropContext();
                tellServer(true);
                scheduleReconnect();
            }
        }
    }

    void dropStandby()
    {
        if (!standby)
            return;
        pa_stream_set_state_callback(standby, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(standby)))
            pa_stream_disconnect(standby);
        pa_stream_unref(standby);
        standby = nullptr;
    }

    void dropContext()
    {
        dropStandby();
        if (!context)
            return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
        ready = false;
        sinksListed = false;
        sinks.clear();
    }

    void scheduleReconnect()
    {
        if (reconnect)
            return;
        timeval tv{};
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, ReconnectUs);
        reconnect = api()->time_new(api(), &tv, &Impl::onReconnect, this);
    }

    static void onReconnect(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        api->time_free(e);
        d->reconnect = nullptr;
        if (!d->context)
            d->connect();
    }

    static void onContextState(pa_context* c, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        if (c != d->context)
            return;
        switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            d->ready = true;
            d->connecting = false;
            d->tellServer(false);
            d->prepareStandby();
            d->watchSinks();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            d->lastError = QString::fromUtf8(pa_strerror(pa_context_errno(c)));
            d->connecting = false;
            d->dropContext();
            d->tellServer(true);
            d->scheduleReconnect();
            break;
        default:
            break;
        }
        pa_threaded_mainloop_signal(d->loop, 0);
    }

    static void onStreamStateSignal(pa_stream*, void* userdata)
    {
        pa_threaded_mainloop_signal(static_cast<Impl*>(userdata)->loop, 0);
    }

    pa_stream* newPlayback()
    {
        const pa_channel_map map = stereoMap();
        pa_stream* s = pa_stream_new(context, clientName.constData(), &SampleSpec, &map);
        if (!s)
            return nullptr;
        pa_stream_set_state_callback(s, &Impl::onStreamStateSignal, this);
        const pa_buffer_attr attr = playbackAttr();
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                           PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        standbyOnChosen = !chosenSink.isEmpty() && !chosenMissing;
        const char* device = standbyOnChosen ? chosenSink.constData() : nullptr;
        if (pa_stream_connect_playback(s, device, &attr, flags, nullptr, nullptr) < 0) {
            pa_stream_unref(s);
            return nullptr;
        }
        return s;
    }

    void prepareStandby()
    {
        if (ready && !standby)
            standby = newPlayback();
    }

    /// Under the lock: waits (releasing it) while a connection is being made.
    void waitWhileConnecting(int msecs, bool evenWhenIdle = false)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
        while (!ready && (connecting || evenWhenIdle) && std::chrono::steady_clock::now() < deadline) {
            pa_threaded_mainloop_unlock(loop);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            pa_threaded_mainloop_lock(loop);
        }
    }

    /// Under the lock: while no connection is up or being made, tries one at once instead of
    /// waiting for the next retry (the server may have come back since the last one).
    void connectNowIfDown()
    {
        if (ready || connecting || context)
            return;
        if (reconnect) {
            api()->time_free(reconnect);
            reconnect = nullptr;
        }
        connect();
    }

    /// Under the lock: a corked playback stream ready to be written, or an error.
    pa_stream* takeStandby()
    {
        // Twice: an attempt already under way may have been started before the server came back.
        for (int attempt = 0; attempt < 2 && !ready; ++attempt) {
            connectNowIfDown();
            waitWhileConnecting(ConnectWaitMs);
        }
        if (!ready)
            throw NoAudioOutput(QStringLiteral("No audio output: ") + lastError);
        // The standby may be made anew while we wait (the outputs changed), and a stream on a
        // chosen sink that has gone fails: then the default sink plays.
        for (int attempt = 0; attempt < 3; ++attempt) {
            prepareStandby();
            while (ready && standby && pa_stream_get_state(standby) == PA_STREAM_CREATING)
                pa_threaded_mainloop_wait(loop);
            if (standby && pa_stream_get_state(standby) == PA_STREAM_READY) {
                pa_stream* s = standby;
                standby = nullptr;
                pa_stream_set_state_callback(s, nullptr, nullptr);
                return s;
            }
            if (!ready)
                break;
            if (standby && standbyOnChosen) {
                chosenMissing = true;
                tellMissing();
            }
            dropStandby();
        }
        const QString reason =
            context ? QString::fromUtf8(pa_strerror(pa_context_errno(context))) : lastError;
        dropStandby();
        throw NoAudioOutput(QStringLiteral("No audio output: ") + reason);
    }

    // --- the chosen output ---

    void watchSinks()
    {
        pa_context_set_subscribe_callback(context, &Impl::onSubscription, this);
        unrefOperation(pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
        unrefOperation(pa_context_get_sink_info_list(context, &Impl::onSinkListed, this));
    }

    static void onSinkListed(pa_context* c, const pa_sink_info* info, int eol, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        if (c != d->context)
            return;
        if (info) {
            const OutputDevices::Device sink{QString::fromUtf8(info->name),
                                             QString::fromUtf8(info->description)};
            d->sinks.insert(info->index, sink);
            d->descriptions.insert(sink.name, sink.description);
            if (d->sinksListed) // one sink that came
                d->checkChosen();
        }
        if (eol != 0 &&
            !d->sinksListed) { // the end of the list, or a failed listing: what came is what there is
            d->sinksListed = true;
            d->checkChosen();
        }
        pa_threaded_mainloop_signal(d->loop, 0);
    }

    static void onSubscription(pa_context* c, pa_subscription_event_type_t type, std::uint32_t index,
                               void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        if (c != d->context || (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK)
            return;
        switch (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) {
        case PA_SUBSCRIPTION_EVENT_NEW:
            unrefOperation(pa_context_get_sink_info_by_index(c, index, &Impl::onSinkListed, d));
            break;
        case PA_SUBSCRIPTION_EVENT_REMOVE:
            d->sinks.remove(index);
            d->checkChosen();
            break;
        default:
            break;
        }
    }

    [[nodiscard]] bool chosenPresent() const
    {
        if (chosenSink.isEmpty())
            return true;
        const QString name = QString::fromUtf8(chosenSink);
        return std::any_of(sinks.cbegin(), sinks.cend(),
                           [&](const OutputDevices::Device& s) { return s.name == name; });
    }

    /// The sinks changed: the next song goes to the chosen sink when it is there, else to the default.
    void checkChosen()
    {
        if (!sinksListed)
            return;
        const bool present = chosenPresent();
        if (present == !chosenMissing)
            return;
        chosenMissing = !present;
        if (chosenMissing)
            tellMissing();
        else
            tellBack(); // and the next time it goes, the operator hears of it again
        dropStandby();
        prepareStandby();
    }

    void tellMissing()
    {
        if (missingTold || chosenSink.isEmpty())
            return;
        missingTold = true;
        tellOutput(true);
    }

    /// The chosen output is back, or no longer chosen: what was said of it no longer holds.
    void tellBack()
    {
        if (!missingTold)
            return;
        missingTold = false;
        tellOutput(false);
    }

    void tellOutput(bool missing)
    {
        if (!missingHandler)
            return;
        // The description it had when it was last seen, else its name.
        const QString name = QString::fromUtf8(chosenSink);
        const QString output = descriptions.value(name, name);
        auto handler = missingHandler;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [handler, output, missing] { guard([&] { handler(output, missing); }); }, Qt::QueuedConnection);
    }

    /// Under the lock: the server is lost or cannot be reached (said once), or answers again.
    void tellServer(bool lost)
    {
        if (lost == serverLostTold)
            return;
        serverLostTold = lost;
        if (!serverHandler)
            return;
        const QString message = lost ? QStringLiteral("No audio output: ") + lastError : QString();
        auto handler = serverHandler;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handler, message] { guard([&] { handler(message); }); },
            Qt::QueuedConnection);
    }

    /// Under the lock: every playing stream moves to the sink songs now play on.
    void movePlaying()
    {
        if (!ready || playing.isEmpty())
            return;
        if (!chosenSink.isEmpty() && !chosenMissing) {
            for (pa_stream* s : std::as_const(playing))
                unrefOperation(pa_context_move_sink_input_by_name(context, pa_stream_get_index(s),
                                                                  chosenSink.constData(), nullptr, nullptr));
            return;
        }
        unrefOperation(pa_context_get_server_info(context, &Impl::onServerInfoMove, this));
    }

    static void onServerInfoMove(pa_context* c, const pa_server_info* info, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        if (c != d->context || !info || !info->default_sink_name)
            return;
        for (pa_stream* s : std::as_const(d->playing))
            unrefOperation(pa_context_move_sink_input_by_name(c, pa_stream_get_index(s),
                                                              info->default_sink_name, nullptr, nullptr));
    }

    QHash<QString, QString> descriptions; ///< of every sink seen in this run, by name
};

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

    static void onUnderflow(pa_stream*, void* userdata)
    {
        auto* p = static_cast<Playback*>(userdata);
        if (!p->ended) // running dry after the last frame is how a song ends
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
        unrefOperation(pa_stream_cork(m_p.stream, 1, nullptr, nullptr));
        m_p.paused = true;
    }

    void resume() override
    {
        LoopLock lock(m_loop);
        if (!m_p.stream || !m_p.paused)
            return;
        unrefOperation(pa_stream_cork(m_p.stream, 0, nullptr, nullptr));
        m_p.paused = false;
    }

    void stop() override
    {
        LoopLock lock(m_loop);
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

/// The part of a recording that the server's thread works on.
struct Capture {
    PulseAudioEngine::Impl* engine = nullptr;
    pa_stream* stream = nullptr;
    std::shared_ptr<PcmSink> sink;
    std::vector<std::int16_t> silence;

    static void onRead(pa_stream* s, std::size_t, void* userdata)
    {
        auto* c = static_cast<Capture*>(userdata);
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t len = 0;
            if (pa_stream_peek(s, &data, &len) < 0 || len == 0)
                return;
            const std::size_t frames = len / Pcm::BytesPerFrame;
            try {
                if (data) {
                    c->sink->write(static_cast<const std::int16_t*>(data), frames);
                } else {
                    // A hole in the recording: keep the timing with silence.
                    c->silence.assign(frames * Pcm::Channels, 0);
                    c->sink->write(c->silence.data(), frames);
                }
            } catch (...) {
                // A failing sink must not take the server's thread down; the recording goes on.
            }
            pa_stream_drop(s);
        }
    }

    void release()
    {
        if (!stream)
            return;
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
};

class PulseInputStream final : public InputStream {
public:
    PulseInputStream(PulseAudioEngine::Impl& engine, pa_stream* stream, std::shared_ptr<PcmSink> sink)
        : m_loop(engine.loop)
    {
        m_c.engine = &engine;
        m_c.stream = stream;
        m_c.sink = std::move(sink);
        pa_stream_set_read_callback(stream, &Capture::onRead, &m_c);
    }
    ~PulseInputStream() override { stop(); }

    void stop() override
    {
        LoopLock lock(m_loop);
        m_c.release();
    }

private:
    pa_threaded_mainloop* m_loop;
    Capture m_c;
};

} // namespace

PulseAudioEngine::PulseAudioEngine(const QString& clientName, const QString& server)
    : d(std::make_unique<Impl>())
{
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
    d->prepareStandby(); // the next start finds its stream open again
    return stream;
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
    const pa_channel_map map = stereoMap();
    pa_stream* s = pa_stream_new(d->context, d->clientName.constData(), &SampleSpec, &map);
    if (!s)
        throw DeviceError(QStringLiteral("No audio input: ") +
                          QString::fromUtf8(pa_strerror(pa_context_errno(d->context))));
    auto input = std::make_unique<PulseInputStream>(*d, s, std::move(sink));
    pa_stream_set_state_callback(s, &Impl::onStreamStateSignal, d.get());
    const pa_buffer_attr attr = captureAttr();
    if (pa_stream_connect_record(s, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0)
        throw DeviceError(QStringLiteral("No audio input: ") +
                          QString::fromUtf8(pa_strerror(pa_context_errno(d->context))));
    while (d->ready && pa_stream_get_state(s) == PA_STREAM_CREATING)
        pa_threaded_mainloop_wait(d->loop);
    if (pa_stream_get_state(s) != PA_STREAM_READY)
        throw DeviceError(
            QStringLiteral("No audio input: ") +
            (d->context ? QString::fromUtf8(pa_strerror(pa_context_errno(d->context))) : d->lastError));
    pa_stream_set_state_callback(s, nullptr, nullptr);
    return input;
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
