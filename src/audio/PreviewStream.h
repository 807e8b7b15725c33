// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PreviewPlayer.h"

#include <cstdint>
#include <memory>

class AudioOutput;
class DecodeAhead;
class HotCache;
class OutputStream;
class StreamingSource;

/// The preview player over an audio output of its own: the song is decoded on a thread of its
/// own from the point asked for, so a start in the middle of a long file does not wait for it.
class PreviewStream : public PreviewPlayer {
    Q_OBJECT
public:
    explicit PreviewStream(AudioOutput& output, QObject* parent = nullptr);
    ~PreviewStream() override;

    void play(const QString& path, double fromSeconds) override;
    void stop() override;
    [[nodiscard]] bool isPlaying() const override;
    [[nodiscard]] double position() const override;
    [[nodiscard]] double duration() const override;

private:
    /// Lets go of the stream; true when one played.
    bool release();
    void ended(std::uint64_t id, const QString& reason);

    AudioOutput& m_output;
    std::unique_ptr<HotCache> m_cache;
    std::unique_ptr<DecodeAhead> m_decoding;
    std::shared_ptr<StreamingSource> m_source;
    std::unique_ptr<OutputStream> m_stream;
    std::uint64_t m_streamId = 0;
    double m_from = 0.0;
    double m_duration = 0.0;
};
