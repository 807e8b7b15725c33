// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CdTrackCatalog.h"

#include <QElapsedTimer>
#include <QString>

#include <mutex>
#include <vector>

/// The tracks of the disc in the CD drive (or the image named by SONAVEX_CDAUDIO), read
/// through libcdio. The table of contents is kept for a short while, so that asking about
/// many names in a row reads the disc once.
class CdromCatalog : public CdTrackCatalog {
public:
    /// `source` as for the "cdaudio" device: empty for the default drive.
    explicit CdromCatalog(QString source = sourceFromEnvironment(), int cacheMs = 2000);

    [[nodiscard]] int trackCount() const override;
    [[nodiscard]] bool hasAudioTrack(int track) const override;

    /// Forgets the kept table of contents: the next question reads the disc.
    void invalidate();

    [[nodiscard]] static QString sourceFromEnvironment();

private:
    /// Track numbers of the audio tracks, read again when older than the cache time.
    std::vector<int> audioTracks() const;

    const QString m_source;
    const int m_cacheMs;
    mutable std::mutex m_mutex;
    mutable QElapsedTimer m_age;
    mutable std::vector<int> m_audioTracks;
};
