// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// CD tracks are named "cdda://TrackNN.cda" (NN = 01..99): track NN of the disc in the CD device.
namespace CdTracks {
inline QString scheme()
{
    return QStringLiteral("cdda://");
}
[[nodiscard]] inline bool isTrackName(const QString& path)
{
    return path.startsWith(scheme(), Qt::CaseInsensitive);
}
[[nodiscard]] inline QString trackName(int track)
{
    return scheme() + QStringLiteral("Track%1.cda").arg(track, 2, 10, QLatin1Char('0'));
}
} // namespace CdTracks

/// The tracks of the disc in the CD device.
class CdTrackCatalog {
public:
    virtual ~CdTrackCatalog() = default;
    /// Number of audio tracks; 0 without a drive or a disc.
    [[nodiscard]] virtual int trackCount() const = 0;
    /// Whether track `track` of the disc holds audio. A disc whose first track holds data
    /// (a mixed-mode disc) has its audio tracks numbered from 2.
    [[nodiscard]] virtual bool hasAudioTrack(int track) const { return track >= 1 && track <= trackCount(); }

    /// "cdda://Track01.cda" ... for every audio track of the disc.
    [[nodiscard]] QStringList trackFiles() const
    {
        QStringList files;
        for (int t = 1; t <= 99; ++t) {
            if (hasAudioTrack(t))
                files << CdTracks::trackName(t);
        }
        return files;
    }
};

/// The "file exists" test of the sound board: CD track names are answered from the
/// disc's table of contents, everything else from the file system.
[[nodiscard]] bool FileExists(const QString& path, const CdTrackCatalog& cd);
