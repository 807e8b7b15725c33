// SPDX-License-Identifier: GPL-3.0-or-later
#include "LateLibrary.h"

#include "platform/Errors.h"

#include <dlfcn.h>

LateLibrary::LateLibrary(const char* soname)
    : m_soname(soname)
{
}

std::shared_future<LateLibrary::Opened> LateLibrary::opening()
{
    const std::lock_guard lock(m_mutex);
    if (!m_opening.valid()) {
        m_opening = std::async(std::launch::async, [soname = m_soname] {
                        Opened opened;
                        opened.handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
                        if (!opened.handle)
                            opened.error = QString::fromLocal8Bit(dlerror());
                        return opened;
                    }).share();
    }
    return m_opening;
}

void LateLibrary::loadSoon()
{
    (void)opening();
}

void* LateLibrary::function(const char* name)
{
    const Opened& opened = opening().get();
    if (!opened.handle)
        throw DeviceError(
            QStringLiteral("%1 cannot be loaded: %2").arg(QLatin1String(m_soname), opened.error));
    void* address = dlsym(opened.handle, name);
    if (!address)
        throw DeviceError(
            QStringLiteral("%1 has no function %2").arg(QLatin1String(m_soname), QLatin1String(name)));
    return address;
}
