// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"
#include "platform/Errors.h"

#include <QString>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// A sound input that records only what the test delivers with `deliver`. A take that is
/// finished while `inFlight` frames are still on their way takes them too (`deliver` on).
class FakeAudioInput : public AudioInput {
public:
    class Stream : public InputStream {
    public:
        Stream(FakeAudioInput& owner, std::shared_ptr<PcmSink> sink)
            : m_owner(owner)
            , m_sink(std::move(sink))
        {
        }
        ~Stream() override { stop(); }
        void stop() override
        {
            if (m_owner.m_current == this)
                m_owner.m_current = nullptr;
            m_sink.reset();
        }
        std::int64_t finish() override
        {
            if (m_end < 0) {
                m_end = m_delivered + m_owner.inFlight;
                endIfComplete();
            }
            return m_end;
        }
        [[nodiscard]] int droppedBlocks() const override { return m_owner.droppedBlocks; }
        void deliver(const std::int16_t* samples, std::size_t frames)
        {
            if (!m_sink)
                return;
            std::int64_t n = std::int64_t(frames);
            if (m_end >= 0)
                n = std::min(n, m_end - m_delivered);
            m_sink->write(samples, std::size_t(n));
            m_delivered += n;
            endIfComplete();
        }

    private:
        void endIfComplete()
        {
            if (m_end < 0 || m_delivered < m_end || !m_sink)
                return;
            if (m_owner.m_current == this)
                m_owner.m_current = nullptr;
            std::exchange(m_sink, nullptr)->ended();
        }

        FakeAudioInput& m_owner;
        std::shared_ptr<PcmSink> m_sink;
        std::int64_t m_delivered = 0;
        std::int64_t m_end = -1;
    };

    ~FakeAudioInput() override
    {
        if (m_current)
            m_current->stop();
    }

    std::unique_ptr<InputStream> startCapture(std::shared_ptr<PcmSink> sink) override
    {
        if (failWith)
            throw DeviceError(*failWith);
        ++started;
        auto stream = std::make_unique<Stream>(*this, std::move(sink));
        m_current = stream.get();
        return stream;
    }

    /// Hands `samples` (interleaved stereo) to the running capture, as the audio thread would.
    /// Returns false when nothing is recording.
    bool deliver(const std::vector<std::int16_t>& samples)
    {
        if (!m_current)
            return false;
        m_current->deliver(samples.data(), samples.size() / Pcm::Channels);
        return true;
    }

    void holdReady(bool hold) override { held += hold ? 1 : -1; }

    /// A take runs, or what was in flight when it was finished has not all come yet.
    [[nodiscard]] bool capturing() const { return m_current != nullptr; }

    std::optional<QString> failWith;
    int started = 0;
    int held = 0;
    std::int64_t inFlight = 0;
    int droppedBlocks = 0;

private:
    Stream* m_current = nullptr;
};
