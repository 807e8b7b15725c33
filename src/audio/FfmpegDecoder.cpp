// SPDX-License-Identifier: GPL-3.0-or-later
#include "FfmpegDecoder.h"

#include "AudioOutput.h"
#include "platform/Errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

/// Consecutive packets the codec may refuse before the file counts as undecodable.
constexpr int MaxBadPackets = 64;

struct FormatCloser {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecFreer {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct SwrFreer {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

struct FfmpegDecoder::Impl {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<SwrContext, SwrFreer> swr;
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    int streamIndex = -1;
    double duration = 0.0;
    std::vector<std::int16_t> pending; // converted, not yet handed out
    std::size_t pendingPos = 0;
    bool inputDone = false;   // no more packets
    bool decoderDone = false; // codec drained
    bool atEnd = false;
    int badPackets = 0;
    std::int64_t skipTo = -1; ///< after a seek: program frames before this one are passed over

    /// The stream's time of its first sample.
    [[nodiscard]] std::int64_t origin() const
    {
        const std::int64_t start = format->streams[streamIndex]->start_time;
        return start == AV_NOPTS_VALUE ? 0 : start;
    }

    bool seek(std::int64_t target)
    {
        const AVStream* st = format->streams[streamIndex];
        const std::int64_t ts =
            origin() + av_rescale_q(target, AVRational{1, Pcm::SampleRate}, st->time_base);
        if (av_seek_frame(format.get(), streamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(codec.get());
        swr_close(swr.get()); // what it held belongs before the seek
        if (swr_init(swr.get()) < 0)
            throw DeviceError(QStringLiteral("its sound cannot be resampled after a seek"));
        pending.clear();
        pendingPos = 0;
        inputDone = decoderDone = atEnd = false;
        skipTo = target;
        return true;
    }

    /// After a seek, drops what the decoded frame `in` (now in `pending`) holds before the target.
    /// False when all of it lies before.
    bool passOverSeek(std::int64_t frameStart)
    {
        const auto frames = static_cast<std::int64_t>(pending.size() / Pcm::Channels);
        const std::int64_t drop = std::clamp<std::int64_t>(skipTo - frameStart, 0, frames);
        pendingPos = static_cast<std::size_t>(drop) * Pcm::Channels;
        if (drop == frames)
            return false;
        skipTo = -1;
        return true;
    }

    void open(const QString& path)
    {
        if (!frame || !packet)
            throw DeviceError(QStringLiteral("out of memory"));
        AVFormatContext* fmt = nullptr;
        int rc = avformat_open_input(&fmt, path.toUtf8().constData(), nullptr, nullptr);
        if (rc < 0)
            throw DeviceError(ffmpegError(rc));
        format.reset(fmt);
        rc = avformat_find_stream_info(fmt, nullptr);
        if (rc < 0)
            throw DeviceError(ffmpegError(rc));
        const AVCodec* dec = nullptr;
        streamIndex = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &dec, 0);
        if (streamIndex < 0 || !dec)
            throw DeviceError(streamIndex == AVERROR_DECODER_NOT_FOUND
                                  ? QStringLiteral("no decoder for its sound")
                                  : QStringLiteral("it holds no sound"));
        const AVStream* st = fmt->streams[streamIndex];
        codec.reset(avcodec_alloc_context3(dec));
        if (!codec)
            throw DeviceError(QStringLiteral("out of memory"));
        rc = avcodec_parameters_to_context(codec.get(), st->codecpar);
        if (rc >= 0)
            rc = avcodec_open2(codec.get(), dec, nullptr);
        if (rc < 0)
            throw DeviceError(ffmpegError(rc));
        if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
            throw DeviceError(QStringLiteral("its sound format is not known"));

        AVChannelLayout inLayout{};
        if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, codec->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&inLayout, &codec->ch_layout);
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, Pcm::Channels);
        SwrContext* s = nullptr;
        rc = swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, Pcm::SampleRate, &inLayout,
                                 codec->sample_fmt, codec->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        swr.reset(s);
        if (rc >= 0 && codec->ch_layout.nb_channels == 1) {
            // Mono goes to both sides at its own level rather than 3 dB down on each.
            const double both[2] = {1.0, 1.0};
            rc = swr_set_matrix(s, both, 1);
        }
        if (rc >= 0)
            rc = swr_init(s);
        if (rc < 0)
            throw DeviceError(ffmpegError(rc));

        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            duration = static_cast<double>(st->duration) * av_q2d(st->time_base);
        else if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
            duration = static_cast<double>(fmt->duration) / AV_TIME_BASE;
    }

    void convert(const AVFrame* in)
    {
        const int inSamples = in ? in->nb_samples : 0;
        const int room = swr_get_out_samples(swr.get(), inSamples);
        if (room <= 0)
            return;
        pending.resize(static_cast<std::size_t>(room) * Pcm::Channels);
        pendingPos = 0;
        auto* outPtr = reinterpret_cast<std::uint8_t*>(pending.data());
        const int got =
            swr_convert(swr.get(), &outPtr, room,
                        in ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr, inSamples);
        pending.resize(got > 0 ? static_cast<std::size_t>(got) * Pcm::Channels : 0);
    }

    /// Refills `pending`; false at the end.
    bool decodeMore()
    {
        while (!atEnd) {
            int rc = avcodec_receive_frame(codec.get(), frame.get());
            if (rc == 0) {
                const std::int64_t pts = frame->best_effort_timestamp;
                convert(frame.get());
                av_frame_unref(frame.get());
                badPackets = 0;
                if (skipTo >= 0) {
                    // A frame without a time after a seek: its place is not known, so the
                    // start is taken where the seek landed.
                    if (pts == AV_NOPTS_VALUE)
                        skipTo = -1;
                    else if (!passOverSeek(av_rescale_q(pts - origin(),
                                                        format->streams[streamIndex]->time_base,
                                                        AVRational{1, Pcm::SampleRate})))
                        continue;
                }
                if (pendingPos < pending.size())
                    return true;
                continue;
            }
            if (rc == AVERROR_EOF) {
                decoderDone = true;
                convert(nullptr); // what the resampler still holds
                atEnd = true;
                return !pending.empty();
            }
            if (rc != AVERROR(EAGAIN)) {
                if (++badPackets > MaxBadPackets)
                    throw DeviceError(ffmpegError(rc));
                continue;
            }
            if (inputDone) {
                // The codec wants input but there is none: finish it.
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            rc = av_read_frame(format.get(), packet.get());
            if (rc < 0) {
                inputDone = true;
                avcodec_send_packet(codec.get(), nullptr);
                continue;
            }
            if (packet->stream_index == streamIndex) {
                rc = avcodec_send_packet(codec.get(), packet.get());
                if (rc < 0 && rc != AVERROR(EAGAIN) && ++badPackets > MaxBadPackets) {
                    av_packet_unref(packet.get());
                    throw DeviceError(ffmpegError(rc));
                }
            }
            av_packet_unref(packet.get());
        }
        return false;
    }
};

FfmpegDecoder::FfmpegDecoder(const QString& path)
    : d(std::make_unique<Impl>())
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); }); // errors reach the operator as messages
    d->open(path);
}

FfmpegDecoder::~FfmpegDecoder() = default;

bool FfmpegDecoder::seek(std::int64_t frame)
{
    return d->seek(frame);
}

double FfmpegDecoder::duration() const
{
    return d->duration;
}

std::size_t FfmpegDecoder::read(std::int16_t* out, std::size_t frames)
{
    std::size_t done = 0;
    while (done < frames) {
        if (d->pendingPos >= d->pending.size() && !d->decodeMore())
            break;
        const std::size_t available = (d->pending.size() - d->pendingPos) / Pcm::Channels;
        const std::size_t n = std::min(available, frames - done);
        std::memcpy(out + done * Pcm::Channels, d->pending.data() + d->pendingPos, n * Pcm::BytesPerFrame);
        d->pendingPos += n * Pcm::Channels;
        done += n;
    }
    return done;
}
