// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

/// Makes the sockets this thread opens from now on belong to the network namespace `name` (a
/// name under /var/run/netns, or a path such as /proc/self/ns/net).
inline bool enterNetNamespace(const QByteArray& name)
{
    const QByteArray file = name.startsWith('/') ? name : "/var/run/netns/" + name;
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    return entered;
}
