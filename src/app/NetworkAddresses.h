// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>

#include <functional>

/// Finds the addresses a phone on the local network reaches this computer at; the dialogs take
/// one so that a test can stand in for the network.
using NetworkAddressLookup = std::function<QList<QHostAddress>()>;

namespace NetworkAddresses {
/// The IPv4 addresses, loopback left out, of the interfaces that are up and running, in the
/// order the system lists its interfaces; empty without a network.
[[nodiscard]] QList<QHostAddress> reachable();
} // namespace NetworkAddresses
