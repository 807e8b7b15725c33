// SPDX-License-Identifier: GPL-3.0-or-later
#include "DecoderLibrary.h"

#include "platform/Errors.h"
#include "platform/ProgramModule.h"

#include <future>
#include <mutex>

namespace {

struct Loaded {
    DecoderLibrary::OpenDecoder open = nullptr;
    QString error;
};

Loaded load()
{
    Loaded loaded;
    loaded.open = reinterpret_cast<DecoderLibrary::OpenDecoder>(ProgramModule::entry(
        QStringLiteral("libsonavex-decoders.so"), DecoderLibrary::EntryPoint, &loaded.error));
    return loaded;
}

std::mutex loadMutex;
std::shared_future<Loaded>& loading()
{
    static std::shared_future<Loaded> future;
    return future;
}

std::shared_future<Loaded> started()
{
    const std::lock_guard lock(loadMutex);
    if (!loading().valid())
        loading() = std::async(std::launch::async, &load).share();
    return loading();
}

} // namespace

void DecoderLibrary::preload()
{
    started();
}

std::unique_ptr<AudioDecoder> DecoderLibrary::open(const QString& path, const QByteArray& start)
{
    const Loaded& loaded = started().get();
    if (!loaded.open)
        throw DeviceError(QStringLiteral("the decoders cannot be loaded: ") + loaded.error);
    return std::unique_ptr<AudioDecoder>(loaded.open(path, start));
}
