// SPDX-License-Identifier: GPL-3.0-or-later
#include "DecoderLibrary.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>

#include <future>
#include <mutex>

namespace {

const QString FileName = QStringLiteral("libsonavex-decoders.so");

/// Where the library is looked for: beside the program as installed (the same path from the
/// program's folder as in the build tree), then the build tree's and the installed folder.
QStringList places()
{
    const QString programDir =
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return {QDir::cleanPath(programDir + QStringLiteral("/" SONAVEX_DECODERS_FROM_BINDIR)),
            QStringLiteral(SONAVEX_DECODERS_BUILD_DIR), QStringLiteral(SONAVEX_DECODERS_INSTALL_DIR)};
}

struct Loaded {
    DecoderLibrary::OpenDecoder open = nullptr;
    QString error;
};

Loaded load()
{
    QString error;
    for (const QString& dir : places()) {
        const QString path = dir + QLatin1Char('/') + FileName;
        if (!QFileInfo::exists(path))
            continue;
        // Never unloaded: the decoders it made may outlive any owner of the handle.
        void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = QString::fromLocal8Bit(dlerror());
            continue;
        }
        if (void* entry = dlsym(handle, DecoderLibrary::EntryPoint))
            return {reinterpret_cast<DecoderLibrary::OpenDecoder>(entry), {}};
        error = path + QStringLiteral(" has no entry point");
    }
    return {nullptr, error.isEmpty() ? FileName + QStringLiteral(" is not installed") : error};
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
