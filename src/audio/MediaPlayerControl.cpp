// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaPlayerControl.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "ChainSource.h"
#include "DecodeAhead.h"
#include "HotCache.h"
#include "SongLevels.h"
#include "SpanDecoder.h"
#include "StreamingSource.h"
#include "platform/Errors.h"
#include "platform/Guard.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int VolumeSilent = -10000;

std::size_t framesFor(double seconds)
{
    return static_cast<std::size_t>(std::max(1.0, std::round(seconds * Pcm::SampleRate)));
}

} // namespace

MediaPlayerControl::MediaPlayerControl(AudioOutput& output, QObject* parent)
    : MediaPlayerControl(output, Options{}, parent)
{
}

MediaPlayerControl::MediaPlayerControl(AudioOutput& output, const Options& options, QObject* parent)
    : MediaPlayer(parent)
    , m_output(output)
    , m_options(options)
    , m_cache(std::make_shared<HotCache>(options.hotBudgetBytes))
    , m_decoding(std::make_shared<DecodeAhead>(*m_cache, framesFor(options.hotHeadSeconds)))
{
}

MediaPlayerControl::MediaPlayerControl(AudioOutput& output, MediaPlayerControl& player, QObject* parent)
    : MediaPlayer(parent)
    , m_output(output)
    , m_options(player.m_options)
    , m_cache(player.m_cache)
    , m_decoding(player.m_decoding)
    , m_sharesCache(true)
    , m_levels(player.m_levels)
{
}

MediaPlayerControl::~MediaPlayerControl()
{
    releaseStream();
    m_decoding.reset(); // the last owner joins the decoding thread before the cache goes
}

void MediaPlayerControl::setFileName(const QString& path)
{
    if (path.isEmpty()) {
        releaseStream();
        ++m_fileGeneration;
        m_state = Stopped;
        m_fileName = path;
        m_duration = 0.0;
        return;
    }
    startFile(path, m_state);
}

void MediaPlayerControl::setFileNameAt(const QString& path, double seconds)
{
    if (path.isEmpty() || !(seconds > 0.0)) {
        setFileName(path);
        return;
    }
    startFile(path, m_state, seconds);
}

MediaPlayerControl::Opened MediaPlayerControl::open(const QString& path, double from)
{
    Opened song;
    StreamingSource::Head head;
    bool complete = false;
    PlaySpan span = m_spans.value(path);
    if (from > 0.0)
        span.start += from;
    std::shared_ptr<const HotHead> hot;
    if (span.whole())
        hot = m_cache->find(path);
    if (hot) {
        head = StreamingSource::Head(hot, &hot->pcm);
        song.skip = static_cast<std::int64_t>(hot->frames());
        complete = hot->complete;
        song.length = hot->duration;
    } else {
        try {
            song.decoder = openAudioDecoder(path);
            if (!span.whole())
                song.decoder = std::make_unique<SpanDecoder>(std::move(song.decoder), span);
            const std::size_t want = framesFor(m_options.coldHeadSeconds);
            auto pcm = std::make_shared<std::vector<std::int16_t>>(want * Pcm::Channels);
            const std::size_t got = song.decoder->read(pcm->data(), want);
            if (got == 0)
                throw DeviceError(QStringLiteral("it holds no sound that can be decoded"));
            pcm->resize(got * Pcm::Channels);
            complete = got < want;
            song.length = song.decoder->duration();
            head = std::move(pcm);
        } catch (const SonavexError& e) {
            throw DeviceError(QStringLiteral("Unable to play ") + path + QStringLiteral(": ") + e.message());
        }
    }
    if (complete && song.length <= 0.0)
        song.length = static_cast<double>(head->size() / Pcm::Channels) / Pcm::SampleRate;
    song.source = std::make_shared<StreamingSource>(head, framesFor(m_options.ringSeconds));
    song.complete = complete;
    if (complete)
        song.source->finish();
    song.level = (m_levels ? m_levels->gainFor(path) : 1.0) * span.gain;
    return song;
}

void MediaPlayerControl::startFile(const QString& path, int oldState, double from)
{
    if (from <= 0.0 && m_following.tookOver && m_following.path == path) {
        adoptFollowing();
        return;
    }
    // The new file is opened and its stream started before the old one is let go of:
    // a file that cannot play leaves the song that plays untouched.
    Opened song = open(path, from);
    const std::uint64_t id = m_streamId + 1;
    // On the audio thread, the news goes on to the player's own thread. The stream is stopped
    // before the player goes, so no read comes after it.
    auto chain = std::make_shared<ChainSource>(song.source, song.level, [this, id](std::int64_t startFrame) {
        QMetaObject::invokeMethod(
            this, [this, id, startFrame] { guard([&] { onHandedOver(id, startFrame); }); },
            Qt::QueuedConnection);
    });
    std::unique_ptr<OutputStream> stream = m_output.startMixed(chain, gainForVolume(m_volume), m_mixGain);

    releaseStream(); // the old file ends unreported
    ++m_fileGeneration;
    m_loop = false;
    m_wantedNext.clear();
    m_fileName = path;
    m_stream = std::move(stream);
    m_source = song.source;
    m_chain = std::move(chain);
    m_songStart = 0;
    m_startedAt = from;
    m_duration = song.length + from;
    m_streamId = id;
    connect(
        m_stream.get(), &OutputStream::finished, this, [this, id] { guard([&] { onStreamFinished(id); }); },
        Qt::QueuedConnection);
    connect(
        m_stream.get(), &OutputStream::failed, this,
        [this, id](const QString& reason) { guard([&] { onStreamFailed(id, reason); }); },
        Qt::QueuedConnection);
    feed(song, path);
    m_state = Playing;
    report(oldState, Playing);
}

void MediaPlayerControl::feed(Opened& song, const QString& path)
{
    if (!song.complete)
        m_decoding->feed(song.source, std::move(song.decoder), path, song.skip);
}

void MediaPlayerControl::setNextFile(const QString& path)
{
    m_wantedNext = path;
    if (m_loop)
        return; // it follows once the loop is let go of
    if (path == m_following.path && m_following.source && !m_following.again)
        return; // ready already
    dropFollowing();
    // One the stream went on into is settled when its news arrives.
    if (m_following.source || path.isEmpty() || !m_chain || m_state == Stopped)
        return;
    Opened song;
    try {
        song = open(path);
    } catch (const SonavexError&) {
        return; // not made ready: its own start says what is wrong with it
    }
    feed(song, path);
    m_following.path = path;
    m_following.source = song.source;
    m_following.length = song.length;
    m_following.level = song.level;
    m_chain->setNext(song.source, song.level);
}

void MediaPlayerControl::setLoop(bool loop)
{
    if (loop == m_loop)
        return;
    m_loop = loop;
    dropFollowing();
    if (m_following.source)
        return; // one the stream went on into is settled when its news arrives
    if (loop)
        followWithItself();
    else
        setNextFile(m_wantedNext);
}

void MediaPlayerControl::setPlaySpan(const QString& path, const PlaySpan& span)
{
    if (span == PlaySpan{})
        m_spans.remove(path);
    else
        m_spans.insert(path, span);
}

void MediaPlayerControl::followWithItself()
{
    if (!m_chain || m_state == Stopped)
        return;
    Opened song;
    try {
        song = open(m_fileName);
    } catch (const SonavexError&) {
        return; // the file went away meanwhile: the song ends at its end
    }
    feed(song, m_fileName);
    m_following.path = m_fileName;
    m_following.source = song.source;
    m_following.level = song.level;
    m_following.again = true;
    m_chain->setNext(song.source, song.level);
}

void MediaPlayerControl::dropFollowing()
{
    if (m_following.tookOver)
        return; // it plays: it waits for its FileName
    if (m_following.source && m_chain && !m_chain->withdraw(m_following.source.get()))
        return; // the stream went on into it a moment ago: its news is on the way
    if (m_following.source)
        m_following.source->cancel();
    m_following = Following{};
}

void MediaPlayerControl::onHandedOver(std::uint64_t stream, std::int64_t startFrame)
{
    if (!m_stream || stream != m_streamId || !m_following.source)
        return;
    if (m_following.again) {
        // The song started again: nothing to report; its position counts from here.
        m_source = m_following.source;
        m_songStart = startFrame;
        m_startedAt = 0.0;
        m_following = Following{};
        if (m_loop)
            followWithItself();
        else
            setNextFile(m_wantedNext);
        return;
    }
    // The song that followed plays already; the one before it ended here.
    m_following.tookOver = true;
    m_following.startFrame = startFrame;
    m_source = m_following.source;
    const int old = m_state;
    m_state = Stopped;
    ++m_fileGeneration;
    if (m_sendEvents)
        Q_EMIT PlayStateChange(old, Stopped);
    // Nobody took it over (the queue changed meanwhile): it falls silent, as if it never began.
    if (m_following.tookOver && m_state == Stopped)
        releaseStream();
}

void MediaPlayerControl::adoptFollowing()
{
    const Following song = m_following;
    m_following = Following{};
    m_loop = false;
    m_wantedNext.clear();
    ++m_fileGeneration;
    m_fileName = song.path;
    m_duration = song.length;
    m_songStart = song.startFrame;
    m_startedAt = 0.0;
    // Paused just after the stream went on into it: the start asked for now plays it, as a new
    // stream would.
    if (m_stream && m_stream->isPaused())
        m_stream->resume();
    m_state = Playing;
    report(Stopped, Playing);
}

void MediaPlayerControl::releaseStream()
{
    if (m_following.source && m_following.source != m_source)
        m_following.source->cancel();
    m_following = Following{};
    if (m_source) {
        m_source->cancel();
        m_source.reset();
    }
    m_chain.reset();
    if (m_stream) {
        m_stream->stop();
        m_stream.reset();
    }
}

void MediaPlayerControl::onStreamFinished(std::uint64_t stream)
{
    if (!m_stream || stream != m_streamId)
        return; // a stream already let go of
    releaseStream();
    const int old = m_state;
    m_state = Stopped;
    report(old, Stopped);
}

void MediaPlayerControl::onStreamFailed(std::uint64_t stream, const QString& reason)
{
    if (!m_stream || stream != m_streamId)
        return;
    releaseStream();
    m_state = Stopped;
    // Not a stop: the window must not take it for the end of the song and start the next.
    const std::uint64_t generation = m_fileGeneration;
    const QString message = QStringLiteral("No audio output: ") + reason;
    QMetaObject::invokeMethod(
        this,
        [this, generation, message] {
            if (generation == m_fileGeneration)
                guard([&] { Q_EMIT PlaybackLost(message); });
        },
        Qt::QueuedConnection);
}

void MediaPlayerControl::report(int oldState, int newState)
{
    if (!m_sendEvents)
        return;
    const std::uint64_t generation = m_fileGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation, oldState, newState] {
            if (generation == m_fileGeneration)
                guard([&] { Q_EMIT PlayStateChange(oldState, newState); });
        },
        Qt::QueuedConnection);
}

QString MediaPlayerControl::fileName() const
{
    return m_fileName;
}

double MediaPlayerControl::duration() const
{
    return m_duration;
}

void MediaPlayerControl::nudge(double seconds)
{
    if (!m_source || m_state != Playing)
        return;
    const auto frames = static_cast<std::int64_t>(std::lround(seconds * Pcm::SampleRate));
    m_source->nudge(frames);
    m_startedAt += static_cast<double>(frames) / Pcm::SampleRate;
}

double MediaPlayerControl::currentPosition() const
{
    if (!m_stream)
        return 0.0;
    // Just after a song took over, the one before may still be heard for a few milliseconds.
    return m_startedAt +
           static_cast<double>(std::max<std::int64_t>(0, m_stream->framesPlayed() - m_songStart)) /
               Pcm::SampleRate;
}

int MediaPlayerControl::playState() const
{
    return m_state;
}

bool MediaPlayerControl::sendPlayStateChangeEvents() const
{
    return m_sendEvents;
}

void MediaPlayerControl::setSendPlayStateChangeEvents(bool send)
{
    m_sendEvents = send;
}

int MediaPlayerControl::volume() const
{
    return m_volume;
}

void MediaPlayerControl::setVolume(int volume)
{
    m_volume = std::clamp(volume, VolumeSilent, 0);
    if (m_stream)
        m_stream->setGain(gainForVolume(m_volume));
}

void MediaPlayerControl::play()
{
    if (m_state == Paused && m_stream) {
        m_stream->resume();
        m_state = Playing;
        report(Paused, Playing);
    } else if (m_state == Stopped && !m_fileName.isEmpty()) {
        startFile(m_fileName, Stopped);
    }
}

void MediaPlayerControl::stop()
{
    if (m_state == Stopped) {
        releaseStream(); // a song that took over and was not wanted falls silent
        return;          // the idle player reports nothing
    }
    releaseStream();
    const int old = m_state;
    m_state = Stopped;
    report(old, Stopped);
}

void MediaPlayerControl::pause()
{
    if (m_state != Playing || !m_stream)
        return;
    m_stream->pause();
    m_state = Paused;
    report(Playing, Paused);
}

void MediaPlayerControl::setMixGain(double gain, double rampSeconds)
{
    m_mixGain = std::max(0.0, gain);
    if (m_stream)
        m_stream->setMixGain(m_mixGain, std::max(0.0, rampSeconds));
}

void MediaPlayerControl::setHotList(const QStringList& paths)
{
    if (m_sharesCache)
        return;
    m_decoding->setHotList(paths);
    if (m_levels)
        m_levels->measureFirst(paths);
}

bool MediaPlayerControl::waitHotListWarm(int msecs)
{
    return m_decoding->waitWarm(msecs);
}

const HotCache& MediaPlayerControl::hotCache() const
{
    return *m_cache;
}

double MediaPlayerControl::gainForVolume(int volume)
{
    if (volume <= VolumeSilent)
        return 0.0;
    if (volume >= 0)
        return 1.0;
    return std::pow(10.0, volume / 2000.0);
}
