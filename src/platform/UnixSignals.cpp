// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnixSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    // Only async-signal-safe calls here.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
}
} // namespace

UnixSignals::UnixSignals(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        return;
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignals::readSignal);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

UnixSignals::~UnixSignals()
{
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void UnixSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(g_fds[1], &byte, 1) == 1)
        Q_EMIT terminationRequested(byte);
}
