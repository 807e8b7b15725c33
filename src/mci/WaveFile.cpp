// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveFile.h"

#include "audio/AudioOutput.h"
#include "platform/AtomicFile.h"

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
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

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
    return info.samplerate != Pcm::SampleRate || info.channels > Pcm::Channels || sub == SF_FORMAT_FLOAT ||
           sub == SF_FORMAT_DOUBLE;
}

/// Mono copied to both sides; stereo as it is.
template <typename T> std::vector<T> toStereo(std::vector<T> in, int channels)
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
    std::vector<std::int16_t> raw(static_cast<std::size_t>(info.frames) *
                                  static_cast<std::size_t>(info.channels));
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
    int rc = swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, Pcm::SampleRate, &inLayout,
                                 AV_SAMPLE_FMT_FLT, info.samplerate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    const std::unique_ptr<SwrContext, SwrFreer> swr(s);
    if (rc < 0 || swr_init(s) < 0)
        return false;

    const auto frames = static_cast<std::int64_t>(in.size()) / channels;
    samples.clear();
    samples.reserve(static_cast<std::size_t>(frames * Pcm::SampleRate / info.samplerate + 64) *
                    Pcm::Channels);
    std::vector<std::int16_t> chunk;
    for (std::int64_t done = 0;; done += ResampleChunk) {
        const bool flushing = done >= frames;
        const int n = flushing ? 0 : static_cast<int>(std::min(ResampleChunk, frames - done));
        const int room = swr_get_out_samples(s, n);
        if (room < 0)
            return false;
        chunk.resize(static_cast<std::size_t>(room) * Pcm::Channels + Pcm::Channels);
        auto* out = reinterpret_cast<std::uint8_t*>(chunk.data());
        const auto* src =
            flushing ? nullptr : reinterpret_cast<const std::uint8_t*>(in.data() + done * channels);
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

bool readNative(SNDFILE* file, const SF_INFO& info, WaveFile::NativeWave& native)
{
    native.format = info.format;
    native.sampleRate = info.samplerate;
    native.channels = info.channels;
    native.samples.assign(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels), 0);
    sf_count_t got = 0;
    if (native.isFloat()) {
        std::vector<float> raw(native.samples.size());
        got = sf_readf_float(file, raw.data(), info.frames);
        std::memcpy(native.samples.data(), raw.data(), raw.size() * sizeof(float));
    } else {
        got = sf_readf_int(file, native.samples.data(), info.frames);
    }
    if (got < 0)
        return false;
    native.samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
    return true;
}

/// Writes a wave of `info`'s format through libsndfile into `memory`.
template <typename Write> QByteArray encodeWith(SF_INFO info, Write&& write)
{
    MemoryFile memory;
    SF_VIRTUAL_IO io{&MemoryFile::length, &MemoryFile::seek, &MemoryFile::read, &MemoryFile::write,
                     &MemoryFile::tell};
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file)
        return {};
    const bool written = write(file);
    const bool closed = sf_close(file) == 0;
    if (!written || !closed)
        return {};
    return memory.bytes;
}

bool saveBytes(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    // The name is used as given; only the folder must be there already.
    if (path.isEmpty() || info.isDir() || !info.absoluteDir().exists() || bytes.isEmpty())
        return false;
    AtomicFileWriter writer;
    return writer.replace(path, bytes);
}

} // namespace

namespace WaveFile {

bool NativeWave::isFloat() const
{
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

ToNative::ToNative(const NativeWave& format)
    : m_rate(format.sampleRate)
    , m_channels(format.channels)
    , m_float(format.isFloat())
{
    if (m_rate == Pcm::SampleRate)
        return;
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, Pcm::Channels);
    const int rc = swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_FLT, m_rate, &stereo, AV_SAMPLE_FMT_S16,
                                       Pcm::SampleRate, 0, nullptr);
    av_channel_layout_uninit(&stereo);
    if (rc < 0 || swr_init(m_swr) < 0)
        throw std::bad_alloc();
}

ToNative::~ToNative()
{
    swr_free(&m_swr);
}

std::vector<std::int32_t> ToNative::fromStereoFloat(const float* frames, std::int64_t count) const
{
    std::vector<std::int32_t> out(static_cast<std::size_t>(count) * static_cast<std::size_t>(m_channels), 0);
    for (std::int64_t i = 0; i < count; ++i) {
        const float left = frames[2 * i];
        const float right = frames[2 * i + 1];
        std::int32_t* o = out.data() + i * m_channels;
        const auto put = [this](std::int32_t& slot, float value) {
            if (m_float) {
                std::memcpy(&slot, &value, sizeof value);
            } else {
                const double scaled = std::clamp(double(value) * 2147483648.0, -2147483648.0, 2147483647.0);
                slot = static_cast<std::int32_t>(std::lrint(scaled));
            }
        };
        if (m_channels == 1) {
            put(o[0], (left + right) / 2);
        } else {
            put(o[0], left);
            put(o[1], right); // further channels stay silent
        }
    }
    return out;
}

std::vector<std::int32_t> ToNative::convert(const std::int16_t* samples, std::int64_t frames)
{
    std::vector<float> stereo;
    if (!m_swr) {
        stereo.resize(static_cast<std::size_t>(frames) * Pcm::Channels);
        for (std::size_t i = 0; i < stereo.size(); ++i)
            stereo[i] = float(samples[i]) / 32768.0f;
    } else {
        const int room = swr_get_out_samples(m_swr, int(frames));
        stereo.resize(static_cast<std::size_t>(std::max(room, 0) + 1) * Pcm::Channels);
        auto* out = reinterpret_cast<std::uint8_t*>(stereo.data());
        const auto* in = reinterpret_cast<const std::uint8_t*>(samples);
        const int got = swr_convert(m_swr, &out, room + 1, frames > 0 ? &in : nullptr, int(frames));
        stereo.resize(static_cast<std::size_t>(std::max(got, 0)) * Pcm::Channels);
    }
    return fromStereoFloat(stereo.data(), std::int64_t(stereo.size()) / Pcm::Channels);
}

std::vector<std::int32_t> ToNative::flush()
{
    if (!m_swr)
        return {};
    return convert(nullptr, 0);
}

bool save(const QString& path, const NativeWave& wave)
{
    SF_INFO info{};
    info.samplerate = wave.sampleRate;
    info.channels = wave.channels;
    info.format = wave.format;
    const QByteArray bytes = encodeWith(info, [&wave](SNDFILE* file) {
        const sf_count_t frames = wave.frames();
        if (frames == 0)
            return true;
        if (wave.isFloat()) {
            std::vector<float> raw(wave.samples.size());
            std::memcpy(raw.data(), wave.samples.data(), raw.size() * sizeof(float));
            return sf_writef_float(file, raw.data(), frames) == frames;
        }
        return sf_writef_int(file, wave.samples.data(), frames) == frames;
    });
    return saveBytes(path, bytes);
}

LoadResult load(const QString& path, std::vector<std::int16_t>& samples, NativeWave* native)
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
    bool ok =
        needsConversion(sf) ? readConverted(file.get(), sf, samples) : readDirect(file.get(), sf, samples);
    if (ok && native) {
        ok = sf_seek(file.get(), 0, SEEK_SET) == 0 && readNative(file.get(), sf, *native);
    }
    if (!ok) {
        samples.clear();
        return LoadResult::Unreadable;
    }
    return LoadResult::Loaded;
}

QByteArray encode(const std::int16_t* samples, std::int64_t frames)
{
    SF_INFO info{};
    info.samplerate = Pcm::SampleRate;
    info.channels = Pcm::Channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    return encodeWith(
        info, [&](SNDFILE* file) { return frames == 0 || sf_writef_short(file, samples, frames) == frames; });
}

bool save(const QString& path, const std::int16_t* samples, std::int64_t frames)
{
    return saveBytes(path, encode(samples, frames));
}

} // namespace WaveFile
