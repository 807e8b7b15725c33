// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>

namespace {
QStringList places()
{
    const QString programDir =
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return {QDir::cleanPath(programDir + QStringLiteral("/" SONAVEX_MODULES_FROM_BINDIR)),
            QStringLiteral(SONAVEX_MODULES_BUILD_DIR), QStringLiteral(SONAVEX_MODULES_INSTALL_DIR)};
}
} // namespace

void* ProgramModule::entry(const QString& fileName, const char* entryPoint, QString* error)
{
    QString why;
    for (const QString& dir : places()) {
        const QString path = dir + QLatin1Char('/') + fileName;
        if (!QFileInfo::exists(path))
            continue;
        void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            why = QString::fromLocal8Bit(dlerror());
            continue;
        }
        if (void* function = dlsym(handle, entryPoint))
            return function;
        why = path + QStringLiteral(" has no entry point");
    }
    if (error)
        *error = why.isEmpty() ? fileName + QStringLiteral(" is not installed") : why;
    return nullptr;
}
