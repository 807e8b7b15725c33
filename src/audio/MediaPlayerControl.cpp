// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaPlayerControl.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "DecodeAhead.h"
#include "HotCache.h"
#include "SongLevels.h"
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
    , m_cache(std::make_unique<HotCache>(options.hotBudgetBytes))
    , m_decoding(std::make_unique<DecodeAhead>(*m_cache, framesFor(options.hotHeadSeconds)))
{
}

MediaPlayerControl::~MediaPlayerControl()
{
    releaseStream();
    m_decoding.reset(); // joins the decoding thread before the cache goes
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

void MediaPlayerControl::startFile(const QString& path, int oldState)
{
    // The new file is opened and its stream started before the old one is let go of:
    // a file that cannot play leaves the song that plays untouched.
    std::unique_ptr<AudioDecoder> decoder;
    StreamingSource::Head head;
    std::int64_t skip = 0;
    bool complete = false;
    double length = 0.0;
    if (const std::shared_ptr<const HotHead> hot = m_cache->find(path)) {
        head = StreamingSource::Head(hot, &hot->pcm);
        skip = static_cast<std::int64_t>(hot->frames());
        complete = hot->complete;
        length = hot->duration;
    } else {
        try {
            decoder = openAudioDecoder(path);
            const std::size_t want = framesFor(m_options.coldHeadSeconds);
            auto pcm = std::make_shared<std::vector<std::int16_t>>(want * Pcm::Channels);
            const std::size_t got = decoder->read(pcm->data(), want);
            if (got == 0)
                throw DeviceError(QStringLiteral("it holds no sound that can be decoded"));
            pcm->resize(got * Pcm::Channels);
            complete = got < want;
            length = decoder->duration();
            head = std::move(pcm);
        } catch (const SonavexError& e) {
            throw DeviceError(QStringLiteral("Unable to play ") + path + QStringLiteral(": ") + e.message());
        }
    }
    if (complete && length <= 0.0)
        length = static_cast<double>(head->size() / Pcm::Channels) / Pcm::SampleRate;

    auto source = std::make_shared<StreamingSource>(head, framesFor(m_options.ringSeconds));
    if (complete)
        source->finish();
    const double level = m_levels ? m_levels->gainFor(path) : 1.0;
    std::unique_ptr<OutputStream> stream = m_output.startWithGain(source, gainForVolume(m_volume) * level);

    releaseStream(); // the old file ends unreported
    ++m_fileGeneration;
    m_fileName = path;
    m_stream = std::move(stream);
    m_source = source;
    m_levelGain = level;
    m_duration = length;
    const std::uint64_t id = ++m_streamId;
    connect(
        m_stream.get(), &OutputStream::finished, this, [this, id] { guard([&] { onStreamFinished(id); }); },
        Qt::QueuedConnection);
    connect(
        m_stream.get(), &OutputStream::failed, this,
        [this, id](const QString& reason) { guard([&] { onStreamFailed(id, reason); }); },
        Qt::QueuedConnection);
    if (!complete)
        m_decoding->feed(std::move(source), std::move(decoder), path, skip);
    m_state = Playing;
    report(oldState, Playing);
}

void MediaPlayerControl::releaseStream()
{
    if (m_source) {
        m_source->cancel();
        m_source.reset();
    }
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

double MediaPlayerControl::currentPosition() const
{
    return m_stream ? static_cast<double>(m_stream->framesPlayed()) / Pcm::SampleRate : 0.0;
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
        m_stream->setGain(gainForVolume(m_volume) * m_levelGain);
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
    if (m_state == Stopped)
        return; // the idle player reports nothing
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

void MediaPlayerControl::setHotList(const QStringList& paths)
{
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
