// SPDX-License-Identifier: GPL-3.0-or-later
#include "CapturingAudioOutput.h"

#include "platform/Errors.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class CapturingAudioOutput::Stream : public OutputStream {
public:
    Stream(std::shared_ptr<PcmSource> source, std::shared_ptr<Capture> capture, double speed)
        : m_source(std::move(source))
        , m_capture(std::move(capture))
        , m_speed(speed)
    {
        m_clock.setInterval(5);
        QObject::connect(&m_clock, &QTimer::timeout, this, [this] { tick(); });
        if (m_speed > 0)
            startClock();
    }

    ~Stream() override
    {
        if (!m_capture->finished)
            m_capture->stopped = true;
    }

    void pause() override
    {
        m_paused = true;
        m_clock.stop();
    }

    void resume() override
    {
        m_paused = false;
        if (m_speed > 0 && !m_ended)
            startClock();
    }

    void stop() override
    {
        m_clock.stop();
        m_ended = true;
        m_capture->stopped = true;
    }

    [[nodiscard]] bool isPaused() const override { return m_paused; }
    [[nodiscard]] std::int64_t framesPlayed() const override { return m_played; }
    void setGain(double) override {}

    std::size_t pull(std::size_t frames)
    {
        if (m_ended || m_paused)
            return 0;
        std::vector<std::int16_t> buffer(frames * Pcm::Channels);
        std::size_t total = 0;
        while (total < frames) {
            const std::size_t n = m_source->read(buffer.data(), frames - total);
            if (n == 0) {
                if (m_source->exhausted())
                    end(); // otherwise the source fell behind: ask again on the next tick
                break;
            }
            m_capture->samples.insert(m_capture->samples.end(), buffer.begin(),
                                      buffer.begin() + std::ptrdiff_t(n * Pcm::Channels));
            total += n;
        }
        m_played += std::int64_t(total);
        return total;
    }

private:
    void startClock()
    {
        m_clockStart.start();
        m_clockBase = m_played;
        m_clock.start();
    }

    void tick()
    {
        const auto due = std::int64_t(double(m_clockStart.elapsed()) * Pcm::SampleRate * m_speed / 1000.0);
        const std::int64_t wanted = m_clockBase + due - m_played;
        if (wanted > 0)
            pull(std::size_t(wanted));
    }

    void end()
    {
        m_ended = true;
        m_clock.stop();
        m_capture->finished = true;
        // As the real output does: after the last frame, on the GUI thread, later.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT finished(); }, Qt::QueuedConnection);
    }

    std::shared_ptr<PcmSource> m_source;
    std::shared_ptr<Capture> m_capture;
    double m_speed;
    QTimer m_clock;
    QElapsedTimer m_clockStart;
    std::int64_t m_clockBase = 0;
    std::int64_t m_played = 0;
    bool m_paused = false;
    bool m_ended = false;
};

CapturingAudioOutput::CapturingAudioOutput(double speed)
    : m_speed(speed)
{
}

CapturingAudioOutput::~CapturingAudioOutput() = default;

std::unique_ptr<OutputStream> CapturingAudioOutput::start(std::shared_ptr<PcmSource> source)
{
    if (failStart) {
        failStart = false;
        throw DeviceError(QStringLiteral("No audio output: the test said so"));
    }
    auto capture = std::make_shared<Capture>();
    m_captures << capture;
    auto stream = std::make_unique<Stream>(std::move(source), std::move(capture), m_speed);
    m_current = stream.get();
    return stream;
}

std::size_t CapturingAudioOutput::pull(std::size_t frames)
{
    return m_current ? m_current->pull(frames) : 0;
}

OutputStream* CapturingAudioOutput::current() const
{
    return m_current.data();
}
