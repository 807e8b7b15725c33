// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Registry;

/// The remote controls' settings, under the board's subkey "Remote": `OscPort` (0 or missing:
/// off), `OscNetwork` ("1": the local network, else this computer only) and `OscPasscode`,
/// which every remote that answers the network shares; `WebPort` and `WebNetwork` likewise for
/// the web remote.
struct RemoteSettings {
    static constexpr quint16 DefaultOscPort = 9020;
    static constexpr quint16 DefaultWebPort = 8020;
    /// A passcode for the local network has at least this many characters: a shorter one falls
    /// to guessing too soon.
    static constexpr int MinNetworkPasscode = 6;

    quint16 oscPort = 0;
    bool oscNetwork = false;
    QString passcode;
    quint16 webPort = 0;
    bool webNetwork = false;

    [[nodiscard]] static RemoteSettings load(Registry& registry);
    /// The main board this one is a backup of, "host:port" (its web remote), under the subkey
    /// "Backup" as `Main`; empty: this board follows none.
    [[nodiscard]] static QString loadBackupMain(Registry& registry);
    static void saveBackupMain(Registry& registry, const QString& address);
    void save(Registry& registry) const;

    friend bool operator==(const RemoteSettings&, const RemoteSettings&) = default;
};
