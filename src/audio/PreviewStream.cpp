// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewStream.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "DecodeAhead.h"
#include "HotCache.h"
#include "StreamingSource.h"
#include "platform/Errors.h"
#include "platform/Guard.h"

#include <algorithm>
#include <cmath>

namespace {
/// How far the decoding thread runs ahead of the output.
constexpr double RingSeconds = 1.5;
} // namespace

PreviewStream::PreviewStream(AudioOutput& output, QObject* parent)
    : PreviewPlayer(parent)
    , m_output(output)
    , m_cache(std::make_unique<HotCache>(0))
    , m_decoding(std::make_unique<DecodeAhead>(*m_cache, 0))
{
}

PreviewStream::~PreviewStream()
{
    release();
}

void PreviewStream::play(const QString& path, double fromSeconds)
{
    const bool wasPlaying = release();
    double length = 0.0;
    try {
        // Opened here once, so that a file that cannot play says so to the one who asked.
        length = openAudioDecoder(path)->duration();
    } catch (const SonavexError& e) {
        if (wasPlaying)
            Q_EMIT stopped(QString());
        throw DeviceError(QStringLiteral("Unable to preview ") + path + QStringLiteral(": ") + e.message());
    }
    const double from = std::max(0.0, fromSeconds);
    auto source =
        std::make_shared<StreamingSource>(nullptr, static_cast<std::size_t>(RingSeconds * Pcm::SampleRate));
    std::unique_ptr<OutputStream> stream;
    try {
        stream = m_output.start(source);
    } catch (...) {
        if (wasPlaying)
            Q_EMIT stopped(QString());
        throw;
    }
    m_decoding->feed(source, nullptr, path, std::llround(from * Pcm::SampleRate));
    const std::uint64_t id = ++m_streamId;
    m_source = std::move(source);
    m_stream = std::move(stream);
    m_from = from;
    m_duration = length;
    connect(
        m_stream.get(), &OutputStream::finished, this, [this, id] { guard([&] { ended(id, QString()); }); },
        Qt::QueuedConnection);
    connect(
        m_stream.get(), &OutputStream::failed, this,
        [this, id](const QString& reason) { guard([&] { ended(id, reason); }); }, Qt::QueuedConnection);
}

void PreviewStream::stop()
{
    if (release())
        Q_EMIT stopped(QString());
}

bool PreviewStream::isPlaying() const
{
    return m_stream != nullptr;
}

double PreviewStream::position() const
{
    if (!m_stream)
        return 0.0;
    return m_from + static_cast<double>(m_stream->framesPlayed()) / Pcm::SampleRate;
}

double PreviewStream::duration() const
{
    return m_duration;
}

bool PreviewStream::release()
{
    if (!m_stream)
        return false;
    m_stream->stop();
    m_stream.reset();
    if (m_source)
        m_source->cancel();
    m_source.reset();
    return true;
}

void PreviewStream::ended(std::uint64_t id, const QString& reason)
{
    if (id != m_streamId || !m_stream)
        return; // a stream let go of already
    release();
    Q_EMIT stopped(reason);
}
