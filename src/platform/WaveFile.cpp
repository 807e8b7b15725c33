// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveFile.h"

#include "AtomicFile.h"
#include "AudioOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

/// Frames handed to the resampler at a time.
constexpr std::int64_t ResampleChunk = 1 << 16;

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SwrFreer {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

bool isWave(int format)
{
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
        return true;
    default:
        return false;
    }
}

bool needsConversion(const SF_INFO& info)
{
    const int sub = info.format & SF_FORMAT_SUBMASK;
    // Floating-point samples go through the resampler, which clips them instead of wrapping.
    return info.samplerate != Pcm::SampleRate || info.channels > Pcm::Channels || sub == SF_FORMAT_FLOAT
           || sub == SF_FORMAT_DOUBLE;
}

/// Mono copied to both sides; stereo as it is.
template <typename T>
std::vector<T> toStereo(std::vector<T> in, int channels)
{
    if (channels != 1)
        return in;
    std::vector<T> out(in.size() * 2);
    for (std::size_t i = 0; i < in.size(); ++i)
        out[2 * i] = out[2 * i + 1] = in[i];
    return out;
}

bool readDirect(SNDFILE* file, const SF_INFO& info, std::vector<std::int16_t>& samples)
{
    std::vector<std::int16_t> raw(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_short(file, raw.data(), info.frames);
    if (got < 0)
        return false;
    // A wave cut short keeps what it holds.
    raw.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
    samples = toStereo(std::move(raw), info.channels);
    return true;
}

bool readConverted(SNDFILE* file, const SF_INFO& info, std::vector<std::int16_t>& samples)
{
    std::vector<float> raw(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, raw.data(), info.frames);
    if (got < 0)
        return false;
    raw.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
    const int channels = info.channels == 1 ? Pcm::Channels : info.channels;
    const std::vector<float> in = toStereo(std::move(raw), info.channels);

    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    av_channel_layout_default(&inLayout, channels);
    av_channel_layout_default(&outLayout, Pcm::Channels);
    SwrContext* s = nullptr;
    int rc = swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, Pcm::SampleRate, &inLayout, AV_SAMPLE_FMT_FLT,
                                 info.samplerate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    const std::unique_ptr<SwrContext, SwrFreer> swr(s);
    if (rc < 0 || swr_init(s) < 0)
        return false;

    const auto frames = static_cast<std::int64_t>(in.size()) / channels;
    samples.clear();
    samples.reserve(static_cast<std::size_t>(frames * Pcm::SampleRate / info.samplerate + 64) * Pcm::Channels);
    std::vector<std::int16_t> chunk;
    for (std::int64_t done = 0;; done += ResampleChunk) {
        const bool flushing = done >= frames;
        const int n = flushing ? 0 : static_cast<int>(std::min(ResampleChunk, frames - done));
        const int room = swr_get_out_samples(s, n);
        if (room < 0)
            return false;
        chunk.resize(static_cast<std::size_t>(room) * Pcm::Channels + Pcm::Channels);
        auto* out = reinterpret_cast<std::uint8_t*>(chunk.data());
        const auto* src = flushing ? nullptr : reinterpret_cast<const std::uint8_t*>(in.data() + done * channels);
        rc = swr_convert(s, &out, room + 1, flushing ? nullptr : &src, n);
        if (rc < 0)
            return false;
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(rc) * Pcm::Channels);
        if (flushing)
            break;
    }
    return true;
}

/// A growing file in memory for libsndfile to write into.
struct MemoryFile {
    QByteArray bytes;
    sf_count_t pos = 0;

    static sf_count_t length(void* user) { return static_cast<MemoryFile*>(user)->bytes.size(); }

    static sf_count_t seek(sf_count_t offset, int whence, void* user)
    {
        auto* m = static_cast<MemoryFile*>(user);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : m->bytes.size();
        if (base + offset < 0)
            return -1;
        m->pos = base + offset;
        return m->pos;
    }

    static sf_count_t read(void* ptr, sf_count_t count, void* user)
    {
        auto* m = static_cast<MemoryFile*>(user);
        const sf_count_t n = std::clamp<sf_count_t>(m->bytes.size() - m->pos, 0, count);
        if (n > 0)
            std::memcpy(ptr, m->bytes.constData() + m->pos, static_cast<std::size_t>(n));
        m->pos += n;
        return n;
    }

    static sf_count_t write(const void* ptr, sf_count_t count, void* user)
    {
        auto* m = static_cast<MemoryFile*>(user);
        if (m->pos + count > m->bytes.size())
            m->bytes.resize(m->pos + count);
        std::memcpy(m->bytes.data() + m->pos, ptr, static_cast<std::size_t>(count));
        m->pos += count;
        return count;
    }

    static sf_count_t tell(void* user) { return static_cast<MemoryFile*>(user)->pos; }
};

} // namespace

namespace WaveFile {

LoadResult load(const QString& path, std::vector<std::int16_t>& samples)
{
    samples.clear();
    const QFileInfo info(path);
    if (!info.exists())
        return LoadResult::NotFound;
    if (info.isDir())
        return LoadResult::NotAWave;
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    probe.close();

    SF_INFO sf{};
    const SndfilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &sf));
    if (!file || !isWave(sf.format) || sf.channels <= 0 || sf.samplerate <= 0 || sf.frames < 0)
        return LoadResult::NotAWave;
    const bool ok = needsConversion(sf) ? readConverted(file.get(), sf, samples) : readDirect(file.get(), sf, samples);
    if (!ok) {
        samples.clear();
        return LoadResult::Unreadable;
    }
    return LoadResult::Loaded;
}

QByteArray encode(const std::int16_t* samples, std::int64_t frames)
{
    MemoryFile memory;
    SF_VIRTUAL_IO io{&MemoryFile::length, &MemoryFile::seek, &MemoryFile::read, &MemoryFile::write,
                     &MemoryFile::tell};
    SF_INFO info{};
    info.samplerate = Pcm::SampleRate;
    info.channels = Pcm::Channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file)
        return {};
    const bool written = frames == 0 || sf_writef_short(file, samples, frames) == frames;
    const bool closed = sf_close(file) == 0;
    if (!written || !closed)
        return {};
    return memory.bytes;
}

bool save(const QString& path, const std::int16_t* samples, std::int64_t frames)
{
    const QFileInfo info(path);
    // The name is used as given; only the folder must be there already.
    if (path.isEmpty() || info.isDir() || !info.absoluteDir().exists())
        return false;
    const QByteArray bytes = encode(samples, frames);
    if (bytes.isEmpty())
        return false;
    AtomicFileWriter writer;
    return writer.replace(path, bytes);
}

} // namespace WaveFile
