// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioDecoder.h"

#include "DecoderLibrary.h"
#include "platform/Errors.h"

#include <QFile>
#include <QFileInfo>

std::unique_ptr<AudioDecoder> openAudioDecoder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw DeviceError(QStringLiteral("the file does not exist"));
    if (!info.isFile())
        throw DeviceError(QStringLiteral("not a file"));
    if (info.size() == 0)
        throw DeviceError(QStringLiteral("the file is empty"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DeviceError(file.errorString());
    return DecoderLibrary::open(path, file.read(12));
}
