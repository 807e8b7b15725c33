// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of the decoders' own library (see DecoderLibrary.h).
#include "FfmpegDecoder.h"
#include "MidiDecoder.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT AudioDecoder* sonavexOpenDecoder(const QString& path, const QByteArray& start)
{
    if (MidiDecoder::isMidi(start))
        return new MidiDecoder(path);
    return new FfmpegDecoder(path);
}
