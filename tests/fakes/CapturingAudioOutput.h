// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioOutput.h"

#include <QList>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

/// A sound output that plays into memory: each stream pulls its source on the GUI thread,
/// either by a clock running at `speed` times real time or, with speed 0, only when the test
/// calls `pull`. Everything pulled counts as played.
class CapturingAudioOutput : public AudioOutput {
public:
    struct Capture {
        std::vector<std::int16_t> samples; ///< interleaved stereo, as read from the source
        bool finished = false;             ///< the source ended and `finished` was sent
        bool stopped = false;              ///< stopped or destroyed before its end
    };

    explicit CapturingAudioOutput(double speed = 1.0);
    ~CapturingAudioOutput() override;

    std::unique_ptr<OutputStream> start(std::shared_ptr<PcmSource> source) override;

    /// Pulls up to `frames` frames from the newest stream that still runs; returns how many.
    std::size_t pull(std::size_t frames);

    /// One entry per stream started, oldest first.
    [[nodiscard]] const QList<std::shared_ptr<Capture>>& captures() const { return m_captures; }
    /// The newest stream while it exists.
    [[nodiscard]] OutputStream* current() const;

    /// The next start raises a DeviceError, as without a sound server.
    bool failStart = false;

private:
    class Stream;
    double m_speed;
    QList<std::shared_ptr<Capture>> m_captures;
    QPointer<Stream> m_current;
};
