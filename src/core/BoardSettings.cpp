// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoardSettings.h"

#include "core/SlotKeys.h"
#include "platform/Registry.h"

#include <QScopeGuard>

#include <algorithm>
#include <cmath>

namespace {
const QString BoardKey = QStringLiteral("\\Software\\Brasswold");
const QString TabsKey = QStringLiteral("Tabs");
const QString SystemKey = QStringLiteral("System");
const QString OutputDeviceValue = QStringLiteral("OutputDevice");
const QString PreviewDeviceValue = QStringLiteral("PreviewDevice");
const QString EvenLevelsValue = QStringLiteral("EvenLevels");
const QString ShowKeysValue = QStringLiteral("ShowKeys");
const QString ShowTimeLeftValue = QStringLiteral("ShowTimeLeft");
const QString ShowViewValue = QStringLiteral("ShowView");
const QString UseSongTimesValue = QStringLiteral("UseSongTimes");
const QString LogPlaysValue = QStringLiteral("LogPlays");
const QString MasterLevelValue = QStringLiteral("MasterLevel");
constexpr double LowestMasterDb = -60.0;
constexpr int TabCount = 10;

QString tabValueName(int index)
{
    return QStringLiteral("Tab") + QString::number(index);
}
} // namespace

BoardSettings::BoardSettings(Registry& registry)
    : m_registry(registry)
{
}

void BoardSettings::withKey(const std::function<void(Registry&)>& use) const
{
    m_registry.OpenKey(BoardKey, true);
    const auto release = qScopeGuard([this] { m_registry.CloseKey(); });
    use(m_registry);
}

QStringList BoardSettings::tabNames() const
{
    QStringList names(TabCount);
    withKey([&](Registry& key) {
        if (!key.OpenKey(TabsKey, false))
            return;
        // Tab i takes the value "Tab"i, so a caption never moves to another tab.
        for (int i = 0; i < TabCount; ++i)
            names[i] = key.ReadString(tabValueName(i));
    });
    return names;
}

void BoardSettings::saveTabNames(const QStringList& names)
{
    withKey([&](Registry& key) {
        key.OpenKey(TabsKey, true);
        for (int i = 0; i < TabCount && i < names.size(); ++i)
            key.WriteString(tabValueName(i), names[i]);
    });
}

void BoardSettings::saveTabName(int index, const QString& name)
{
    withKey([&](Registry& key) {
        key.OpenKey(TabsKey, true);
        key.WriteString(tabValueName(index), name);
    });
}

QString BoardSettings::outputDevice() const
{
    return systemText(OutputDeviceValue);
}

void BoardSettings::saveOutputDevice(const QString& name)
{
    saveSystemText(OutputDeviceValue, name);
}

QString BoardSettings::previewDevice() const
{
    return systemText(PreviewDeviceValue);
}

void BoardSettings::savePreviewDevice(const QString& name)
{
    saveSystemText(PreviewDeviceValue, name);
}

QString BoardSettings::systemText(const QString& name) const
{
    QString text;
    withKey([&](Registry& key) {
        if (key.OpenKey(SystemKey, false))
            text = key.ReadString(name).trimmed();
    });
    return text;
}

void BoardSettings::saveSystemText(const QString& name, const QString& text)
{
    withKey([&](Registry& key) {
        key.OpenKey(SystemKey, true);
        key.WriteString(name, text);
    });
}

bool BoardSettings::evenLevels() const
{
    bool on = false;
    withKey([&](Registry& key) {
        on = key.OpenKey(SystemKey, false) && key.ReadString(EvenLevelsValue).trimmed() == QLatin1String("1");
    });
    return on;
}

void BoardSettings::saveEvenLevels(bool on)
{
    withKey([&](Registry& key) {
        key.OpenKey(SystemKey, true);
        key.WriteString(EvenLevelsValue, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

bool BoardSettings::systemFlag(const QString& name, bool otherwise) const
{
    bool on = otherwise;
    withKey([&](Registry& key) {
        if (!key.OpenKey(SystemKey, false))
            return;
        const QString text = key.ReadString(name).trimmed();
        if (text == QLatin1String("1"))
            on = true;
        else if (text == QLatin1String("0"))
            on = false;
    });
    return on;
}

void BoardSettings::saveSystemFlag(const QString& name, bool on)
{
    withKey([&](Registry& key) {
        key.OpenKey(SystemKey, true);
        key.WriteString(name, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

bool BoardSettings::showKeys() const
{
    return systemFlag(ShowKeysValue, true);
}

void BoardSettings::saveShowKeys(bool on)
{
    saveSystemFlag(ShowKeysValue, on);
}

bool BoardSettings::showTimeLeft() const
{
    return systemFlag(ShowTimeLeftValue, false);
}

void BoardSettings::saveShowTimeLeft(bool on)
{
    saveSystemFlag(ShowTimeLeftValue, on);
}

bool BoardSettings::showView() const
{
    return systemFlag(ShowViewValue, false);
}

void BoardSettings::saveShowView(bool on)
{
    saveSystemFlag(ShowViewValue, on);
}

bool BoardSettings::useSongTimes() const
{
    return systemFlag(UseSongTimesValue, false);
}

void BoardSettings::saveUseSongTimes(bool on)
{
    saveSystemFlag(UseSongTimesValue, on);
}

bool BoardSettings::logPlays() const
{
    return systemFlag(LogPlaysValue, false);
}

void BoardSettings::saveLogPlays(bool on)
{
    saveSystemFlag(LogPlaysValue, on);
}

double BoardSettings::masterLevel() const
{
    bool read = false;
    const double db = systemText(MasterLevelValue).toDouble(&read);
    return read && std::isfinite(db) ? std::clamp(db, LowestMasterDb, 0.0) : 0.0;
}

void BoardSettings::saveMasterLevel(double db)
{
    saveSystemText(MasterLevelValue, QString::number(db, 'g', 6));
}

void BoardSettings::loadKeys(SlotKeys& keys) const
{
    withKey([&](Registry& key) { keys.load(key); });
}

void BoardSettings::saveKeys(const SlotKeys& keys)
{
    withKey([&](Registry& key) { keys.save(key); });
}
