// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MediaPlayer.h"

#include <QHash>

#include <cstddef>
#include <cstdint>
#include <memory>

class AudioDecoder;
class AudioOutput;
class ChainSource;
class DecodeAhead;
class HotCache;
class OutputStream;
class SongLevels;
class StreamingSource;

/// The media player the main window plays files through, over the audio output: FFmpeg
/// decodes every format, FluidSynth renders MIDI. Setting FileName opens the file, learns its
/// length and starts it; the songs of the hot list start from memory.
class MediaPlayerControl : public MediaPlayer {
    Q_OBJECT
public:
    struct Options {
        /// How much of each hot song is decoded ahead.
        double hotHeadSeconds = 3.0;
        /// The most memory the decoded heads may take together.
        std::size_t hotBudgetBytes = std::size_t{64} << 20;
        /// How much of a song not on the hot list is decoded before it starts.
        double coldHeadSeconds = 0.25;
        /// How far the decoding thread runs ahead of the output.
        double ringSeconds = 1.5;
    };

    explicit MediaPlayerControl(AudioOutput& output, QObject* parent = nullptr);
    MediaPlayerControl(AudioOutput& output, const Options& options, QObject* parent = nullptr);
    /// A player on `output` that shares the hot cache and the decoding thread of `player`: the
    /// songs `player` keeps hot start from memory here too. Its own hot list is `player`'s.
    MediaPlayerControl(AudioOutput& output, MediaPlayerControl& player, QObject* parent = nullptr);
    ~MediaPlayerControl() override;

    /// Raises DeviceError("Unable to play <path>: <reason>") when the file cannot be opened or
    /// decoded, and NoAudioOutput("No audio output: ...") without a sound server; the song that
    /// played then plays on untouched and nothing is reported.
    void setFileName(const QString& path) override;
    /// Passes over the first `seconds` in the decoder: the song never starts from the hot list.
    void setFileNameAt(const QString& path, double seconds) override;
    [[nodiscard]] QString fileName() const override;
    [[nodiscard]] double duration() const override;
    [[nodiscard]] double currentPosition() const override;
    [[nodiscard]] int playState() const override;
    [[nodiscard]] bool sendPlayStateChangeEvents() const override;
    void setSendPlayStateChangeEvents(bool send) override;
    [[nodiscard]] int volume() const override;
    void setVolume(int volume) override;

    /// Resumes paused media; on stopped media with a file, starts it again from the beginning.
    void play() override;
    void stop() override;
    void pause() override;

    void setNextFile(const QString& path) override;
    /// While on, the song that plays starts again at its end with nothing between, unreported;
    /// the song set to follow waits until it is turned off. A new song starts with it off.
    void setLoop(bool loop) override;
    void nudge(double seconds) override;
    /// A song with a span other than the whole starts from its decoder, never from the hot list.
    void setPlaySpan(const QString& path, const PlaySpan& span) override;
    /// On a player that shares another's cache, does nothing: the other's list holds.
    void setHotList(const QStringList& paths) override;
    void setMixGain(double gain, double rampSeconds) override;
    [[nodiscard]] double mixGain() const { return m_mixGain; }
    /// Waits up to `msecs` until the hot list is decoded ahead (as far as the budget goes).
    bool waitHotListWarm(int msecs);
    [[nodiscard]] const HotCache& hotCache() const;
    /// Songs start at the gain `levels` gives them (volume and fade work on top of it) and
    /// the hot list is measured first. Null: every song at its own level.
    void setLevels(SongLevels* levels) { m_levels = levels; }

    /// Linear gain for a volume in hundredths of a decibel: 10^(volume/2000), silence at -10000.
    [[nodiscard]] static double gainForVolume(int volume);

private:
    /// A song opened and its first part decoded, ready to be played.
    struct Opened {
        std::shared_ptr<StreamingSource> source;
        std::unique_ptr<AudioDecoder> decoder; ///< null for a song of the hot list
        std::int64_t skip = 0;                 ///< frames the decoder must pass over
        double length = 0.0;
        double level = 1.0;
        bool complete = false; ///< the head holds the whole song
    };
    /// The song set to follow: made ready, and after it took over, waiting for its FileName.
    struct Following {
        QString path;
        std::shared_ptr<StreamingSource> source;
        double length = 0.0;
        double level = 1.0;
        std::int64_t startFrame = 0; ///< where it starts in the stream, once it took over
        bool tookOver = false;
        bool again = false; ///< the song that plays, starting again (a loop)
    };

    /// Raises DeviceError when the file cannot be opened or decoded.
    /// Raises DeviceError when the file cannot be opened or decoded; `from` seconds into its span.
    Opened open(const QString& path, double from = 0.0);
    void startFile(const QString& path, int oldState, double from = 0.0);
    /// FileName set to the song that took over from the one before: it plays on as it is.
    void adoptFollowing();
    /// Hands the rest of the song to the decoding thread, unless its head holds it all.
    void feed(Opened& song, const QString& path);
    void dropFollowing();
    void followWithItself();
    void onHandedOver(std::uint64_t stream, std::int64_t startFrame);
    void releaseStream();
    void onStreamFinished(std::uint64_t stream);
    void onStreamFailed(std::uint64_t stream, const QString& reason);
    void report(int oldState, int newState);

    AudioOutput& m_output;
    const Options m_options;
    std::shared_ptr<HotCache> m_cache;
    std::shared_ptr<DecodeAhead> m_decoding; ///< before the cache goes, joined by its last owner
    bool m_sharesCache = false;
    std::unique_ptr<OutputStream> m_stream;
    std::shared_ptr<StreamingSource> m_source;
    std::shared_ptr<ChainSource> m_chain;
    Following m_following;
    bool m_loop = false;
    QHash<QString, PlaySpan> m_spans;
    QString m_wantedNext; ///< the song set to follow, kept while a loop holds it back
    /// Where the song that plays starts in the stream (songs that followed one another share it).
    std::int64_t m_songStart = 0;
    /// Seconds of the song passed over before its start (setFileNameAt); 0 once it starts again.
    double m_startedAt = 0.0;
    std::uint64_t m_streamId = 0;
    /// Counts the files set; a report queued for an earlier file is not delivered.
    std::uint64_t m_fileGeneration = 0;
    QString m_fileName;
    double m_duration = 0.0;
    int m_state = Stopped;
    bool m_sendEvents = true;
    int m_volume = 0;
    double m_mixGain = 1.0;
    SongLevels* m_levels = nullptr;
};
