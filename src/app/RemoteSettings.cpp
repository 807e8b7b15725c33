// SPDX-License-Identifier: GPL-3.0-or-later
#include "RemoteSettings.h"

#include "platform/Registry.h"

#include <QScopeGuard>

namespace {
const QString RemoteKey = QStringLiteral("\\Software\\Brasswold\\Remote");
const QString BackupKey = QStringLiteral("\\Software\\Brasswold\\Backup");
const QString BackupMainValue = QStringLiteral("Main");
const QString OscPortValue = QStringLiteral("OscPort");
const QString OscNetworkValue = QStringLiteral("OscNetwork");
const QString OscPasscodeValue = QStringLiteral("OscPasscode");
const QString WebPortValue = QStringLiteral("WebPort");
const QString WebNetworkValue = QStringLiteral("WebNetwork");

quint16 portOf(Registry& registry, const QString& name)
{
    bool ok = false;
    const uint port = registry.ReadString(name).trimmed().toUInt(&ok);
    return ok && port <= 65535 ? static_cast<quint16>(port) : 0;
}
} // namespace

RemoteSettings RemoteSettings::load(Registry& registry)
{
    RemoteSettings settings;
    if (!registry.OpenKey(RemoteKey, false))
        return settings;
    const auto close = qScopeGuard([&] { registry.CloseKey(); });
    settings.oscPort = portOf(registry, OscPortValue);
    settings.oscNetwork = registry.ReadString(OscNetworkValue).trimmed() == QLatin1String("1");
    settings.passcode = registry.ReadString(OscPasscodeValue);
    settings.webPort = portOf(registry, WebPortValue);
    settings.webNetwork = registry.ReadString(WebNetworkValue).trimmed() == QLatin1String("1");
    return settings;
}

void RemoteSettings::save(Registry& registry) const
{
    registry.OpenKey(RemoteKey, true);
    const auto close = qScopeGuard([&] { registry.CloseKey(); });
    registry.WriteString(OscPortValue, QString::number(oscPort));
    registry.WriteString(OscNetworkValue, oscNetwork ? QStringLiteral("1") : QStringLiteral("0"));
    registry.WriteString(OscPasscodeValue, passcode);
    registry.WriteString(WebPortValue, QString::number(webPort));
    registry.WriteString(WebNetworkValue, webNetwork ? QStringLiteral("1") : QStringLiteral("0"));
}

QString RemoteSettings::loadBackupMain(Registry& registry)
{
    if (!registry.OpenKey(BackupKey, false))
        return {};
    const auto close = qScopeGuard([&] { registry.CloseKey(); });
    return registry.ReadString(BackupMainValue).trimmed();
}

void RemoteSettings::saveBackupMain(Registry& registry, const QString& address)
{
    registry.OpenKey(BackupKey, true);
    registry.WriteString(BackupMainValue, address.trimmed());
    registry.CloseKey();
}
