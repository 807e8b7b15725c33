// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonSettings.h"

#include <algorithm>
#include <cmath>

namespace {

const QString VolumeKey = QStringLiteral("volume");
const QString ModeKey = QStringLiteral("mode");
const QString LoopKey = QStringLiteral("loop");

const QString* valueOf(const SlotsFile::Keys& keys, const QString& key)
{
    for (const auto& k : keys)
        if (k.first == key)
            return &k.second;
    return nullptr;
}

} // namespace

double ButtonSettings::gain() const
{
    return std::pow(10.0, volumeDb / 20.0);
}

QString ButtonSettings::modeName(Mode mode)
{
    switch (mode) {
    case Mode::Toggle:
        return QStringLiteral("toggle");
    case Mode::Hold:
        return QStringLiteral("hold");
    case Mode::Restart:
        break;
    }
    return QStringLiteral("restart");
}

ButtonSettings ButtonSettings::fromKeys(const SlotsFile::Keys& keys)
{
    ButtonSettings s;
    if (const QString* v = valueOf(keys, VolumeKey)) {
        QString text = v->trimmed();
        if (text.endsWith(QLatin1String("dB"), Qt::CaseInsensitive))
            text = text.chopped(2).trimmed();
        bool ok = false;
        const double db = text.toDouble(&ok);
        if (ok && std::isfinite(db))
            s.volumeDb = std::clamp(db, MinVolumeDb, MaxVolumeDb);
    }
    if (const QString* v = valueOf(keys, ModeKey)) {
        for (const Mode m : {Mode::Restart, Mode::Toggle, Mode::Hold})
            if (v->trimmed().compare(modeName(m), Qt::CaseInsensitive) == 0)
                s.mode = m;
    }
    if (const QString* v = valueOf(keys, LoopKey)) {
        const QString text = v->trimmed().toLower();
        s.loop = text == QLatin1String("yes") || text == QLatin1String("1") || text == QLatin1String("true");
    }
    return s;
}

void ButtonSettings::writeTo(SlotsFile::Keys& keys) const
{
    keys.removeIf(
        [](const auto& k) { return k.first == VolumeKey || k.first == ModeKey || k.first == LoopKey; });
    if (volumeDb != 0.0)
        keys.append({VolumeKey, QString::number(volumeDb, 'g', 4)});
    if (mode != Mode::Restart)
        keys.append({ModeKey, modeName(mode)});
    if (loop)
        keys.append({LoopKey, QStringLiteral("yes")});
}
