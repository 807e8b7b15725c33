// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonSettings.h"

#include <algorithm>
#include <cmath>

namespace {

const QString VolumeKey = QStringLiteral("volume");
const QString ModeKey = QStringLiteral("mode");
const QString LoopKey = QStringLiteral("loop");
const QString LayerKey = QStringLiteral("layer");
const QString OutputKey = QStringLiteral("output");
const QString ChannelsKey = QStringLiteral("channels");
const QString DuckKey = QStringLiteral("duck");

bool isYes(const QString& value)
{
    const QString text = value.trimmed().toLower();
    return text == QLatin1String("yes") || text == QLatin1String("1") || text == QLatin1String("true");
}

/// A channel number counted from 1, or 0 when it cannot be read.
int channelNumber(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= ButtonSettings::MaxChannel ? n : 0;
}

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

OutputRoute ButtonSettings::route() const
{
    OutputRoute route;
    if (output == PreviewOutput)
        route.preview = true;
    else
        route.device = output;
    route.firstChannel = firstChannel;
    route.channelCount = firstChannel == 0 ? 2 : channelCount;
    return route;
}

QString ButtonSettings::channelsText() const
{
    if (firstChannel == 0)
        return {};
    if (channelCount == 1)
        return QString::number(firstChannel);
    return QStringLiteral("%1-%2").arg(firstChannel).arg(firstChannel + 1);
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
    if (const QString* v = valueOf(keys, LoopKey))
        s.loop = isYes(*v);
    if (const QString* v = valueOf(keys, LayerKey))
        s.layer = isYes(*v);
    if (const QString* v = valueOf(keys, OutputKey))
        s.output = v->trimmed();
    if (const QString* v = valueOf(keys, ChannelsKey)) {
        // "5-6": a pair of neighbours; "3": one channel. Anything else: the output's stereo.
        const QStringList ends = v->split(QLatin1Char('-'));
        const int first = channelNumber(ends.front());
        if (ends.size() == 1 && first > 0) {
            s.firstChannel = first;
            s.channelCount = 1;
        } else if (ends.size() == 2 && first > 0 && first < MaxChannel &&
                   channelNumber(ends.back()) == first + 1) {
            s.firstChannel = first;
            s.channelCount = 2;
        }
    }
    if (const QString* v = valueOf(keys, DuckKey)) {
        QString text = v->trimmed();
        if (text.endsWith(QLatin1String("dB"), Qt::CaseInsensitive))
            text = text.chopped(2).trimmed();
        bool ok = false;
        const double db = std::abs(text.toDouble(&ok)); // "-12" dips as "12" does
        if (ok && std::isfinite(db) && db > 0)
            s.duckDb = std::clamp(db, MinDuckDb, MaxDuckDb);
    }
    return s;
}

void ButtonSettings::writeTo(SlotsFile::Keys& keys) const
{
    keys.removeIf([](const auto& k) {
        return k.first == VolumeKey || k.first == ModeKey || k.first == LoopKey || k.first == LayerKey ||
               k.first == OutputKey || k.first == ChannelsKey || k.first == DuckKey;
    });
    if (volumeDb != 0.0)
        keys.append({VolumeKey, QString::number(volumeDb, 'g', 4)});
    if (mode != Mode::Restart)
        keys.append({ModeKey, modeName(mode)});
    if (loop)
        keys.append({LoopKey, QStringLiteral("yes")});
    if (layer)
        keys.append({LayerKey, QStringLiteral("yes")});
    if (!output.isEmpty())
        keys.append({OutputKey, output});
    if (firstChannel != 0)
        keys.append({ChannelsKey, channelsText()});
    if (duckDb != 0.0)
        keys.append({DuckKey, QString::number(duckDb, 'g', 4)});
}
