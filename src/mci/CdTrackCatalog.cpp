// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdTrackCatalog.h"

#include <QFileInfo>

bool FileExists(const QString& path, const CdTrackCatalog& cd)
{
    if (CdTracks::isTrackName(path)) {
        const QString name = path.mid(CdTracks::scheme().size());
        // "TrackNN.cda", any letter case
        if (name.size() != 11 || !name.startsWith(QLatin1String("Track"), Qt::CaseInsensitive) ||
            !name.endsWith(QLatin1String(".cda"), Qt::CaseInsensitive))
            return false;
        bool ok = false;
        const int track = name.mid(5, 2).toInt(&ok);
        return ok && cd.hasAudioTrack(track);
    }
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}
