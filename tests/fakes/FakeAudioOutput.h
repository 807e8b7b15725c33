// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"
#include "platform/Errors.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

/// A stream that plays only when the test pulls frames from it.
class FakeOutputStream : public OutputStream {
    Q_OBJECT
public:
    FakeOutputStream(std::shared_ptr<PcmSource> from, double startGain)
        : source(std::move(from))
        , gain(startGain)
    {
    }
    ~FakeOutputStream() override { *alive = false; }

    void pause() override { paused = true; }
    void resume() override { paused = false; }
    void stop() override { stopped = true; }
    [[nodiscard]] bool isPaused() const override { return paused; }
    [[nodiscard]] std::int64_t framesPlayed() const override { return played; }
    void setGain(double g) override { gain = g; }
    void setMixGain(double g, double rampSeconds) override
    {
        mixGain = g;
        mixRamp = rampSeconds;
    }

    /// Reads up to `frames` frames as the server would, waiting for a source that fell behind;
    /// fewer only at the source's end.
    std::vector<std::int16_t> pull(std::size_t frames, int patienceMs = 3000);
    /// Reads everything to the end.
    std::vector<std::int16_t> pullAll() { return pull(std::size_t{1} << 30); }
    /// The server played the last frame.
    void finishNow() { Q_EMIT finished(); }

    std::shared_ptr<PcmSource> source;
    double gain;
    double mixGain = 1.0;
    double mixRamp = 0.0; ///< of the last change
    bool paused = false;
    bool stopped = false;
    std::int64_t played = 0;
    /// False once the player let the stream go: a test may hold this beyond the stream.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

class FakeAudioOutput : public AudioOutput {
public:
    std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) override
    {
        return startWithGain(std::move(source), 1.0);
    }
    std::unique_ptr<OutputStream> startWithGain(std::shared_ptr<PcmSource> source, double gain) override
    {
        if (failWith)
            throw DeviceError(*failWith);
        auto stream = std::make_unique<FakeOutputStream>(std::move(source), gain);
        streams.append(stream.get());
        return stream;
    }
    std::unique_ptr<OutputStream> startMixed(std::shared_ptr<PcmSource> source, double gain,
                                             double mixGain) override
    {
        auto stream = startWithGain(std::move(source), gain);
        static_cast<FakeOutputStream*>(stream.get())->mixGain = mixGain;
        return stream;
    }
    [[nodiscard]] FakeOutputStream* last() const
    {
        return streams.isEmpty() ? nullptr : streams.last().data();
    }

    QList<QPointer<FakeOutputStream>> streams;
    std::optional<QString> failWith;
};
