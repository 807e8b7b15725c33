// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"
#include "platform/Errors.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

/// A sound input that records only what the test delivers with `deliver`.
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
        void deliver(const std::int16_t* samples, std::size_t frames)
        {
            if (m_sink)
                m_sink->write(samples, frames);
        }

    private:
        FakeAudioInput& m_owner;
        std::shared_ptr<PcmSink> m_sink;
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

    [[nodiscard]] bool capturing() const { return m_current != nullptr; }

    std::optional<QString> failWith;
    int started = 0;

private:
    Stream* m_current = nullptr;
};
