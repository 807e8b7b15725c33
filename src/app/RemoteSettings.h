// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Registry;

/// The remote controls' settings, under the board's subkey "Remote": `OscPort` (0 or missing:
/// off), `OscNetwork` ("1": the local network, else this computer only) and `OscPasscode`,
/// which every remote that answers the network shares.
struct RemoteSettings {
    static constexpr quint16 DefaultOscPort = 9020;

    quint16 oscPort = 0;
    bool oscNetwork = false;
    QString passcode;

    [[nodiscard]] static RemoteSettings load(Registry& registry);
    void save(Registry& registry) const;

    friend bool operator==(const RemoteSettings&, const RemoteSettings&) = default;
};
