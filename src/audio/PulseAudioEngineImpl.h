// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sound engine's own insides, shared by its playback and its capture: the connection to the
// server, the stream kept ready for the next press, the chosen output, and the news told of them.
// Only the engine's own sources include this.

#include "PulseAudioEngine.h"

#include "platform/Errors.h"
#include "platform/Guard.h"

#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QMetaObject>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>

namespace PulseLink {

/// What a stream keeps buffered at the server. A start does not wait for it (the data is written
/// at once from memory), but it is what rides out a busy machine: at 20 ms streams ran dry a few
/// times a minute with two cores under full load, at 40 ms they did not.
inline constexpr pa_usec_t TargetLatencyUs = 40000;
inline constexpr pa_usec_t RequestUs = 10000;
inline constexpr pa_usec_t PrebufUs = 2000;
/// The same on a PipeWire server, which runs its whole graph at the period the smallest request
/// of a stream asks: ours above ask 10 ms, rounded down to 256 frames (5.3 ms), and left us 20 ms
/// of buffer there. On a busy machine a client then missed its period several times a minute,
/// each miss heard as a blank of one period (stock players alike). These ask 20 ms (512 frames)
/// and keep 60 ms: no blank in the same measurements. A PulseAudio server keeps the ones above.
inline constexpr pa_usec_t PipeWireTargetLatencyUs = 80000;
inline constexpr pa_usec_t PipeWireRequestUs = 20000;
inline constexpr pa_usec_t CaptureFragmentUs = 20000;
inline constexpr pa_usec_t ReconnectUs = 500000;
inline constexpr pa_usec_t StarvedRetryUs = 5000;
/// How often a playing stream asks for the server's clock (it interpolates in between).
inline constexpr pa_usec_t TimingUs = 200000;
/// How long after a start the stream for the next one is opened: the sound is under way by then.
inline constexpr pa_usec_t StandbyDelayUs = 30000;
/// A gain change moves at most this much per frame: silence to full level in 5 ms.
inline constexpr float GainStepPerFrame = 1.0f / 220.0f;
/// The most a stream is raised (+24 dB): a quiet song brought up to the others.
inline constexpr double MaxGain = 16.0;
/// A start while the connection is being made waits this long for it.
inline constexpr int ConnectWaitMs = 1500;
inline constexpr std::uint32_t ServerDefault = std::numeric_limits<std::uint32_t>::max();

inline const pa_sample_spec SampleSpec{PA_SAMPLE_S16LE, Pcm::SampleRate, Pcm::Channels};

inline pa_buffer_attr playbackAttr(bool pipeWire, const pa_sample_spec& format = SampleSpec)
{
    pa_buffer_attr a{};
    a.maxlength = ServerDefault;
    a.tlength = static_cast<std::uint32_t>(
        pa_usec_to_bytes(pipeWire ? PipeWireTargetLatencyUs : TargetLatencyUs, &format));
    a.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(PrebufUs, &format));
    a.minreq =
        static_cast<std::uint32_t>(pa_usec_to_bytes(pipeWire ? PipeWireRequestUs : RequestUs, &format));
    a.fragsize = ServerDefault;
    return a;
}

inline pa_buffer_attr captureAttr()
{
    pa_buffer_attr a{};
    a.maxlength = ServerDefault;
    a.tlength = ServerDefault;
    a.prebuf = ServerDefault;
    a.minreq = ServerDefault;
    a.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(CaptureFragmentUs, &SampleSpec));
    return a;
}

inline pa_channel_map stereoMap()
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

inline void unrefOperation(pa_operation* op)
{
    if (op)
        pa_operation_unref(op);
}

} // namespace PulseLink

using namespace PulseLink; // NOLINT: this header is the engine's own

struct CaptureLine;
struct RouteLine;

struct PulseAudioEngine::Impl {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* standby = nullptr;
    pa_time_event* reconnect = nullptr;
    pa_time_event* standbyLater = nullptr; ///< the next standby, asked for once a start is under way
    bool ready = false;
    bool named = false;    ///< the server said its name (or could not)
    bool pipeWire = false; ///< the server is PipeWire's
    bool connecting = false;
    std::atomic<int> underflows{0};
    /// The highest sample level sent since it was last taken (1 = full scale); the audio thread raises it.
    std::atomic<float> peak{0.0f};
    QString lastError = QStringLiteral("not connected to the audio server");
    QByteArray clientName;
    QByteArray server;

    // The output songs play on. Everything here is used under the loop's lock.
    QByteArray chosenSink;        ///< empty: the server's default sink
    bool chosenOnly = false;      ///< never the default sink: see Routing::ChosenOnly
    bool chosenMissing = false;   ///< the chosen sink is not there: the default one plays meanwhile
    bool missingTold = false;     ///< the operator heard of this absence already
    bool sinksListed = false;     ///< `sinks` holds the server's sinks
    bool standbyOnChosen = false; ///< the standby stream was asked for on the chosen sink
    QMap<std::uint32_t, OutputDevices::Device> sinks; ///< by the server's index
    QMap<std::uint32_t, pa_channel_map> sinkMaps;     ///< the channels of each sink, by the same index
    QByteArray defaultSink;                           ///< the server's default sink, as last heard
    QList<pa_stream*> playing; ///< the playback streams on the show's output started and not yet released
    QList<RouteLine*> routes;  ///< the outputs on other sinks or channels (see PulseAudioEngine::routeOutput)
    std::function<void(const QString&, bool)> missingHandler;
    bool serverLostTold = false; ///< the operator heard that the server is not there
    std::function<void(const QString&)> serverHandler;
    int holdCount = 0;                        ///< how often a capture is held ready
    std::shared_ptr<CaptureLine> heldCapture; ///< the capture kept running while held

    /// Under the lock: opens the held capture when one is wanted and there is none.
    void prepareHeldCapture();
    /// Under the lock: closes it; its takes end with what they have.
    void dropHeldCapture();
    /// Under the lock: the sinks changed; every route checks whether its sink and channels are there.
    void checkRoutes();
    void dropRouteStandbys();
    /// Under the lock: raises the level sent so far.
    void raisePeak(float level)
    {
        float seen = peak.load(std::memory_order_relaxed);
        while (level > seen && !peak.compare_exchange_weak(seen, level, std::memory_order_relaxed)) {
        }
    }

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
        dropStandbyLater();
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
        dropHeldCapture();
        dropRouteStandbys();
        if (!context)
            return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
        ready = false;
        named = false;
        pipeWire = false;
        sinksListed = false;
        sinks.clear();
        sinkMaps.clear();
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
            d->prepareHeldCapture();
            d->watchSinks();
            // The stream kept ready waits for the server's name, which says how to ask it.
            unrefOperation(pa_context_get_server_info(c, &Impl::onServerKind, d));
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
        const pa_buffer_attr attr = playbackAttr(pipeWire);
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                                    PA_STREAM_INTERPOLATE_TIMING);
        if (chosenOnly) // the server would rescue it to the default sink when its own goes
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
        standbyOnChosen = !chosenSink.isEmpty() && !chosenMissing;
        const char* device = standbyOnChosen ? chosenSink.constData() : nullptr;
        if (pa_stream_connect_playback(s, device, &attr, flags, nullptr, nullptr) < 0) {
            pa_stream_unref(s);
            return nullptr;
        }
        return s;
    }

    /// Under the lock: a stream may be opened on the sink songs play on now.
    [[nodiscard]] bool canPlay() const { return !chosenOnly || (!chosenSink.isEmpty() && !chosenMissing); }

    /// Once the server said its name (or could not): the stream kept ready is asked for.
    static void onServerKind(pa_context* c, const pa_server_info* info, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        if (c != d->context)
            return;
        d->named = true;
        d->pipeWire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
        if (info && info->default_sink_name)
            d->defaultSink = info->default_sink_name;
        d->prepareStandby();
        pa_threaded_mainloop_signal(d->loop, 0);
    }

    void prepareStandby()
    {
        dropStandbyLater();
        if (ready && named && !standby && canPlay())
            standby = newPlayback();
    }

    /// Under the lock: after a start, the next standby is asked for a little later. A new stream
    /// makes the server work out its sink's latency again, and asked for with the un-cork it
    /// held back the sound that had just been started.
    void prepareStandbyLater()
    {
        if (standbyLater)
            return;
        standbyLater =
            pa_context_rttime_new(context, pa_rtclock_now() + StandbyDelayUs, &Impl::onStandbyLater, this);
    }

    void dropStandbyLater()
    {
        if (!standbyLater)
            return;
        api()->time_free(standbyLater);
        standbyLater = nullptr;
    }

    static void onStandbyLater(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* userdata)
    {
        auto* d = static_cast<Impl*>(userdata);
        api->time_free(e);
        d->standbyLater = nullptr;
        d->prepareStandby();
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

    /// Under the lock: the connection is up, or an error.
    void waitReady()
    {
        // Twice: an attempt already under way may have been started before the server came back.
        for (int attempt = 0; attempt < 2 && !ready; ++attempt) {
            connectNowIfDown();
            waitWhileConnecting(ConnectWaitMs);
        }
        if (!ready)
            throw NoAudioOutput(QStringLiteral("No audio output: ") + lastError);
    }

    /// Under the lock: a corked playback stream ready to be written, or an error.
    pa_stream* takeStandby()
    {
        waitReady();
        if (chosenOnly && chosenSink.isEmpty())
            throw NoAudioOutput(QStringLiteral("No audio output: no output is chosen"));
        // The standby may be made anew while we wait (the outputs changed), and a stream on a
        // chosen sink that has gone fails: then the default sink plays.
        while (ready && !named) // one round trip after connecting
            pa_threaded_mainloop_wait(loop);
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
            if (!canPlay())
                throw NoAudioOutput(QStringLiteral("No audio output: the output \"%1\" is not there")
                                        .arg(descriptions.value(QString::fromUtf8(chosenSink),
                                                                QString::fromUtf8(chosenSink))));
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
                                             QString::fromUtf8(info->description),
                                             static_cast<int>(info->channel_map.channels)};
            d->sinks.insert(info->index, sink);
            d->sinkMaps.insert(info->index, info->channel_map);
            d->descriptions.insert(sink.name, sink.description);
            if (d->sinksListed) { // one sink that came
                d->checkChosen();
                d->checkRoutes();
            }
        }
        if (eol != 0 &&
            !d->sinksListed) { // the end of the list, or a failed listing: what came is what there is
            d->sinksListed = true;
            d->checkChosen();
            d->checkRoutes();
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
            d->sinkMaps.remove(index);
            d->checkChosen();
            d->checkRoutes();
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
        if (!ready || playing.isEmpty() || chosenOnly) // streams on the chosen sink only stay there
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
