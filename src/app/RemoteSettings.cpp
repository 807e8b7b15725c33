// SPDX-License-Identifier: GPL-3.0-or-later
#include "RemoteSettings.h"

#include "platform/Registry.h"

#include <QScopeGuard>

namespace {
const QString RemoteKey = QStringLiteral("\\Software\\Brasswold\\Remote");
const QString OscPortValue = QStringLiteral("OscPort");
const QString OscNetworkValue = QStringLiteral("OscNetwork");
const QString OscPasscodeValue = QStringLiteral("OscPasscode");
} // namespace

RemoteSettings RemoteSettings::load(Registry& registry)
{
    RemoteSettings settings;
    if (!registry.OpenKey(RemoteKey, false))
        return settings;
    const auto close = qScopeGuard([&] { registry.CloseKey(); });
    bool ok = false;
    const uint port = registry.ReadString(OscPortValue).trimmed().toUInt(&ok);
    settings.oscPort = ok && port <= 65535 ? static_cast<quint16>(port) : 0;
    settings.oscNetwork = registry.ReadString(OscNetworkValue).trimmed() == QLatin1String("1");
    settings.passcode = registry.ReadString(OscPasscodeValue);
    return settings;
}

void RemoteSettings::save(Registry& registry) const
{
    registry.OpenKey(RemoteKey, true);
    const auto close = qScopeGuard([&] { registry.CloseKey(); });
    registry.WriteString(OscPortValue, QString::number(oscPort));
    registry.WriteString(OscNetworkValue, oscNetwork ? QStringLiteral("1") : QStringLiteral("0"));
    registry.WriteString(OscPasscodeValue, passcode);
}
