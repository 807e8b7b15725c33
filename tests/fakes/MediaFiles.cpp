// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaFiles.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <numbers>

namespace MediaFiles {

namespace {

void put32le(QByteArray& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put16le(QByteArray& b, std::uint16_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}
void put32be(QByteArray& b, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

std::vector<std::int16_t> tone(double hz, double seconds, double amplitude, int rate, int channels)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        // A cosine starts at its peak: loud from the first sample.
        const double v =
            amplitude * 32767.0 * std::cos(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c)
            out[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(v));
    }
    return out;
}

std::vector<std::int16_t> ramp(std::size_t frames)
{
    std::vector<std::int16_t> out(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        out[2 * i] = static_cast<std::int16_t>(static_cast<int>(i % 65536) - 32768);
        out[2 * i + 1] = static_cast<std::int16_t>(32767 - static_cast<int>(i % 65536));
    }
    return out;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool writeWav(const QString& path, const std::vector<std::int16_t>& samples, int rate, int channels)
{
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    QByteArray b("RIFF");
    put32le(b, 36 + dataBytes);
    b.append("WAVEfmt ");
    put32le(b, 16);
    put16le(b, 1);
    put16le(b, static_cast<std::uint16_t>(channels));
    put32le(b, static_cast<std::uint32_t>(rate));
    put32le(b, static_cast<std::uint32_t>(rate * channels * 2));
    put16le(b, static_cast<std::uint16_t>(channels * 2));
    put16le(b, 16);
    b.append("data");
    put32le(b, dataBytes);
    for (std::int16_t s : samples)
        put16le(b, static_cast<std::uint16_t>(s));
    return writeBytes(path, b);
}

bool writeAu(const QString& path, const std::vector<std::int16_t>& samples, int rate, int channels)
{
    QByteArray b(".snd");
    put32be(b, 24);
    put32be(b, static_cast<std::uint32_t>(samples.size() * 2));
    put32be(b, 3); // 16-bit linear
    put32be(b, static_cast<std::uint32_t>(rate));
    put32be(b, static_cast<std::uint32_t>(channels));
    for (std::int16_t s : samples) {
        const auto u = static_cast<std::uint16_t>(s);
        b.append(static_cast<char>(u >> 8));
        b.append(static_cast<char>(u & 0xFF));
    }
    return writeBytes(path, b);
}

QByteArray midiTune(int notes, int noteMs)
{
    constexpr int Division = 480; // ticks per quarter; 120 bpm: 960 ticks a second
    const int ticks = noteMs * 960 / 1000;
    QByteArray track;
    auto delta = [&track](int v) {
        char buf[4];
        int n = 0;
        buf[n++] = static_cast<char>(v & 0x7F);
        while ((v >>= 7) > 0)
            buf[n++] = static_cast<char>(0x80 | (v & 0x7F));
        while (n > 0)
            track.append(buf[--n]);
    };
    delta(0);
    track.append("\xFF\x51\x03\x07\xA1\x20", 6); // 500000 us per quarter
    delta(0);
    track.append("\xC0\x00", 2); // piano
    for (int i = 0; i < notes; ++i) {
        const char key = static_cast<char>(60 + (i * 4) % 24);
        delta(0);
        track.append('\x90');
        track.append(key);
        track.append('\x70');
        delta(ticks);
        track.append('\x80');
        track.append(key);
        track.append('\x40');
    }
    delta(0);
    track.append("\xFF\x2F\x00", 3);
    QByteArray b("MThd");
    put32be(b, 6);
    b.append("\x00\x00\x00\x01", 4);
    b.append(static_cast<char>(Division >> 8));
    b.append(static_cast<char>(Division & 0xFF));
    b.append("MTrk");
    put32be(b, static_cast<std::uint32_t>(track.size()));
    b.append(track);
    return b;
}

bool encode(const QString& path, const char* container, const std::vector<std::int16_t>& samples,
            QString* why)
{
    const bool mp3 = qstrcmp(container, "mp3") == 0;
    const AVCodec* codec = avcodec_find_encoder(mp3 ? AV_CODEC_ID_MP3 : AV_CODEC_ID_PCM_S16LE);
    if (!codec) {
        *why = QStringLiteral("this FFmpeg has no encoder for %1").arg(QLatin1String(container));
        return false;
    }
    AVFormatContext* oc = nullptr;
    const QByteArray file = path.toUtf8();
    if (avformat_alloc_output_context2(&oc, nullptr, container, file.constData()) < 0 || !oc) {
        *why = QStringLiteral("no muxer");
        return false;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVStream* st = avformat_new_stream(oc, nullptr);
    ctx->sample_rate = 44100;
    av_channel_layout_default(&ctx->ch_layout, 2);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    ctx->bit_rate = 192000;
    ctx->time_base = AVRational{1, 44100};
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    bool ok =
        avcodec_open2(ctx, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, ctx) >= 0;
    st->time_base = ctx->time_base;
    ok = ok && avio_open(&oc->pb, file.constData(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(oc, nullptr) >= 0;
    SwrContext* swr = nullptr;
    ok = ok &&
         swr_alloc_set_opts2(&swr, &ctx->ch_layout, ctx->sample_fmt, 44100, &ctx->ch_layout,
                             AV_SAMPLE_FMT_S16, 44100, 0, nullptr) >= 0 &&
         swr_init(swr) >= 0;
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 1024;
    const std::size_t total = samples.size() / 2;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
            pkt->stream_index = st->index;
            av_interleaved_write_frame(oc, pkt);
        }
    };
    for (std::size_t at = 0; ok && at < total; at += static_cast<std::size_t>(frameSize)) {
        const int n =
            static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(frameSize), total - at));
        av_frame_unref(frame);
        frame->nb_samples = ctx->frame_size > 0 ? frameSize : n; // fixed-size codecs get a padded last frame
        frame->format = ctx->sample_fmt;
        frame->sample_rate = 44100;
        av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
        ok = av_frame_get_buffer(frame, 0) >= 0;
        const auto* in = reinterpret_cast<const std::uint8_t*>(samples.data() + at * 2);
        const int got = ok ? swr_convert(swr, frame->data, frame->nb_samples, &in, n) : 0;
        if (got < frame->nb_samples)
            av_samples_set_silence(frame->data, std::max(got, 0), frame->nb_samples - std::max(got, 0), 2,
                                   ctx->sample_fmt);
        frame->pts = static_cast<std::int64_t>(at);
        ok = ok && avcodec_send_frame(ctx, frame) >= 0;
        drain();
    }
    if (ok) {
        avcodec_send_frame(ctx, nullptr);
        drain();
        ok = av_write_trailer(oc) >= 0;
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    swr_free(&swr);
    avcodec_free_context(&ctx);
    if (oc->pb)
        avio_closep(&oc->pb);
    avformat_free_context(oc);
    if (!ok)
        *why = QStringLiteral("encoding failed");
    return ok;
}

double toneLevelDb(const std::int16_t* samples, std::size_t frames, int channels, double hz, int rate)
{
    if (frames == 0)
        return -200.0;
    // Goertzel: the amplitude of one frequency, so other sounds on the sink barely count.
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double s0 = samples[i * static_cast<std::size_t>(channels)] / 32768.0 + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    const double amplitude = 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames);
    return amplitude > 1e-10 ? 20.0 * std::log10(amplitude) : -200.0;
}

double pieceToneLevelDb(const std::int16_t* samples, std::size_t frames, int channels, double hz, int rate)
{
    // 20 ms pieces, half overlapping, each under a Hann window: 50 Hz wide, so that a tone a few
    // hundred hertz away stays more than 60 dB down.
    const std::size_t piece = static_cast<std::size_t>(rate) / 50;
    if (frames < piece)
        return toneLevelDb(samples, frames, channels, hz, rate);
    const auto step = static_cast<std::size_t>(channels);
    const double w = 2.0 * std::numbers::pi * hz / rate;
    std::vector<double> window(piece);
    double windowSum = 0.0;
    for (std::size_t i = 0; i < piece; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                         static_cast<double>(piece));
        windowSum += window[i];
    }
    std::vector<double> powers;
    for (std::size_t at = 0; at + piece <= frames; at += piece / 2) {
        double re = 0.0;
        double im = 0.0;
        for (std::size_t i = 0; i < piece; ++i) {
            const double v = window[i] * samples[(at + i) * step] / 32768.0;
            re += v * std::cos(w * static_cast<double>(i));
            im -= v * std::sin(w * static_cast<double>(i));
        }
        const double amplitude = 2.0 * std::hypot(re, im) / windowSum;
        powers.push_back(amplitude * amplitude);
    }
    // The median piece: gaps in up to half of them do not move it.
    const auto middle = powers.begin() + static_cast<std::ptrdiff_t>(powers.size() / 2);
    std::nth_element(powers.begin(), middle, powers.end());
    const double amplitude = std::sqrt(*middle);
    return amplitude > 1e-10 ? 20.0 * std::log10(amplitude) : -200.0;
}

double rmsDb(const std::int16_t* samples, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        sum += (samples[i] / 32768.0) * (samples[i] / 32768.0);
    const double rms = count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
    return rms > 1e-10 ? 20.0 * std::log10(rms) : -200.0;
}

QString writeCdImage(const QString& dir, const std::vector<std::vector<std::int16_t>>& tracks)
{
    constexpr std::size_t SamplesPerSector = 588 * 2;
    QByteArray bin;
    QByteArray cue = "FILE \"disc.bin\" BINARY\n";
    std::size_t sector = 0;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        cue += QStringLiteral("  TRACK %1 AUDIO\n    INDEX 01 %2:%3:%4\n")
                   .arg(t + 1, 2, 10, QLatin1Char('0'))
                   .arg(sector / 4500, 2, 10, QLatin1Char('0'))
                   .arg(sector / 75 % 60, 2, 10, QLatin1Char('0'))
                   .arg(sector % 75, 2, 10, QLatin1Char('0'))
                   .toLatin1();
        std::vector<std::int16_t> samples = tracks[t];
        samples.resize((samples.size() + SamplesPerSector - 1) / SamplesPerSector * SamplesPerSector);
        for (const std::int16_t v : samples)
            bin.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
        sector += samples.size() / SamplesPerSector;
    }
    if (!writeBytes(dir + QLatin1String("/disc.bin"), bin) ||
        !writeBytes(dir + QLatin1String("/disc.cue"), cue))
        return {};
    return dir + QLatin1String("/disc.cue");
}

} // namespace MediaFiles
