// SPDX-License-Identifier: GPL-3.0-or-later
// FFmpeg's resampler, which wave files of other rates and channels are converted with, is
// opened at its first use: linked, it and the dozen libraries it needs in turn (hardware video
// decoding among them) were loaded before the window could show. These functions stand in for
// its own and call them; each finds its own once. Hidden, so that no library's calls to its
// own functions ever reach them.
#include "WaveFile.h"

#include "platform/LateLibrary.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/version.h>
#include <libswresample/swresample.h>
#include <libswresample/version_major.h>
}

#define SONAVEX_STRING(x) #x
#define SONAVEX_SONAME(name, major) "lib" name ".so." SONAVEX_STRING(major)

namespace {
LateLibrary& swresample()
{
    static LateLibrary library(SONAVEX_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR));
    return library;
}

LateLibrary& avutil()
{
    static LateLibrary library(SONAVEX_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    return library;
}
} // namespace

void WaveFile::loadLibrariesSoon()
{
    swresample().loadSoon();
    avutil().loadSoon();
}

#pragma GCC visibility push(hidden)
extern "C" {

int swr_alloc_set_opts2(SwrContext** context, AVChannelLayout* outLayout, AVSampleFormat outFormat,
                        int outRate, AVChannelLayout* inLayout, AVSampleFormat inFormat, int inRate,
                        int logOffset, void* logContext)
{
    SONAVEX_LATE(swresample, swr_alloc_set_opts2);
    return real(context, outLayout, outFormat, outRate, inLayout, inFormat, inRate, logOffset, logContext);
}

int swr_init(SwrContext* context)
{
    SONAVEX_LATE(swresample, swr_init);
    return real(context);
}

void swr_free(SwrContext** context)
{
    SONAVEX_LATE(swresample, swr_free);
    real(context);
}

int swr_get_out_samples(SwrContext* context, int inSamples)
{
    SONAVEX_LATE(swresample, swr_get_out_samples);
    return real(context, inSamples);
}

int swr_convert(SwrContext* context, uint8_t** out, int outCount, const uint8_t** in, int inCount)
{
    SONAVEX_LATE(swresample, swr_convert);
    return real(context, out, outCount, in, inCount);
}

void av_channel_layout_default(AVChannelLayout* layout, int channels)
{
    SONAVEX_LATE(avutil, av_channel_layout_default);
    real(layout, channels);
}

void av_channel_layout_uninit(AVChannelLayout* layout)
{
    SONAVEX_LATE(avutil, av_channel_layout_uninit);
    real(layout);
}

} // extern "C"
#pragma GCC visibility pop
