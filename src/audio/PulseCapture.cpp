// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's capture: a recording from the default input, delivered to a sink on the server's thread.
#include "PulseAudioEngine.h"

#include "PulseAudioEngineImpl.h"

#include <vector>

namespace {

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
