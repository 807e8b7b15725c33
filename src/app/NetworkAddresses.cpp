// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkAddresses.h"

#include <QNetworkInterface>

QList<QHostAddress> NetworkAddresses::reachable()
{
    QList<QHostAddress> out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = i.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : i.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
                out << a;
        }
    }
    return out;
}
