// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Measures request-to-sound: records the null sink's monitor with low latency and takes the
// CLOCK_MONOTONIC time at which the first loud sample after arm() reaches this reader. Never
// back-dated: the null sink renders ahead of real time, so the frames still waiting in the
// monitor's buffer say nothing about when a sample was made. The reader's thread runs real-time
// where allowed, so that a busy machine does not delay the reading itself. Header-only, so any
// benchmark (a player call, a simulated press on the window, another process) can use it.

#include "platform/Realtime.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <time.h>

inline std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

class OnsetRecorder {
public:
    /// `threshold`: the absolute sample value that counts as sound.
    explicit OnsetRecorder(const char* device = "nullsink.monitor", int threshold = 8000)
        : m_threshold(threshold)
    {
        m_loop = pa_threaded_mainloop_new();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "onset-recorder");
        pa_context_set_state_callback(m_context, &OnsetRecorder::signal, this);
        pa_threaded_mainloop_lock(m_loop);
        pa_threaded_mainloop_start(m_loop);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            fail("cannot connect");
        while (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
                fail("no audio server");
            pa_threaded_mainloop_wait(m_loop);
        }
        const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, 44100, 2};
        m_stream = pa_stream_new(m_context, "onset", &sampleSpec, nullptr);
        pa_stream_set_state_callback(m_stream, &OnsetRecorder::signalStream, this);
        pa_stream_set_read_callback(m_stream, &OnsetRecorder::onRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(2000, &sampleSpec));
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        pa_stream_connect_record(m_stream, device, &attr, PA_STREAM_ADJUST_LATENCY);
        while (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
                fail("cannot record the monitor");
            pa_threaded_mainloop_wait(m_loop);
        }
        pa_threaded_mainloop_get_api(m_loop)->defer_new(
            pa_threaded_mainloop_get_api(m_loop),
            [](pa_mainloop_api* api, pa_defer_event* e, void* self) {
                auto* r = static_cast<OnsetRecorder*>(self);
                api->defer_free(e);
                r->m_thread = Realtime::currentThread();
                pa_threaded_mainloop_signal(r->m_loop, 0);
            },
            this);
        while (m_thread == 0)
            pa_threaded_mainloop_wait(m_loop);
        pa_threaded_mainloop_unlock(m_loop);
        m_realtime = Realtime::makeRealtime(m_thread, ReaderPriority);
    }

    /// Whether the reader runs real-time (else a loaded machine delays what it measures).
    [[nodiscard]] bool realtime() const { return m_realtime; }

    ~OnsetRecorder()
    {
        pa_threaded_mainloop_lock(m_loop);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }

    /// Looks for the next onset from now on.
    void arm()
    {
        m_onset.store(-1);
        m_armed.store(true);
    }

    /// The CLOCK_MONOTONIC time of the first loud sample since arm(), or -1 after `msecs`.
    std::int64_t waitOnset(int msecs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msecs);
        while (m_onset.load() < 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        m_armed.store(false);
        return m_onset.load();
    }

    /// Waits until nothing loud was heard for `quietMs`.
    bool waitQuiet(int quietMs, int timeoutMs)
    {
        const std::int64_t deadline = monotonicNs() + std::int64_t{timeoutMs} * 1000000;
        while (monotonicNs() < deadline) {
            if (monotonicNs() - m_lastLoud.load() > std::int64_t{quietMs} * 1000000)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    [[noreturn]] void fail(const char* what)
    {
        pa_threaded_mainloop_unlock(m_loop);
        throw std::runtime_error(std::string("onset recorder: ") + what);
    }

    static void signal(pa_context*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<OnsetRecorder*>(self)->m_loop, 0);
    }
    static void signalStream(pa_stream*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<OnsetRecorder*>(self)->m_loop, 0);
    }

    static void onRead(pa_stream* s, std::size_t, void* self)
    {
        auto* r = static_cast<OnsetRecorder*>(self);
        const std::int64_t now = monotonicNs();
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t len = 0;
            if (pa_stream_peek(s, &data, &len) < 0 || len == 0)
                return;
            const std::size_t frames = len / 4;
            if (data) {
                const auto* x = static_cast<const std::int16_t*>(data);
                for (std::size_t i = 0; i < frames; ++i) {
                    if (std::abs(x[2 * i]) >= r->m_threshold) {
                        r->m_lastLoud.store(now);
                        if (r->m_armed.load() && r->m_onset.load() < 0)
                            r->m_onset.store(now);
                        break;
                    }
                }
            }
            pa_stream_drop(s);
        }
    }

    /// Above the program's audio threads: the reader must not wait for what it measures.
    static constexpr int ReaderPriority = Realtime::StreamPriority + 2;
    int m_threshold;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::atomic<bool> m_armed{false};
    std::atomic<std::int64_t> m_onset{-1};
    std::atomic<std::int64_t> m_lastLoud{0};
    pid_t m_thread = 0;
    bool m_realtime = false;
};
