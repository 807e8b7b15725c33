// SPDX-License-Identifier: GPL-3.0-or-later
#include "CdromCatalog.h"

#include "CdDrive.h"

#include <algorithm>

CdromCatalog::CdromCatalog(QString source, int cacheMs)
    : m_source(std::move(source))
    , m_cacheMs(cacheMs)
{
}

QString CdromCatalog::sourceFromEnvironment()
{
    return CdDrive::configuredSource();
}

int CdromCatalog::trackCount() const
{
    return int(audioTracks().size());
}

bool CdromCatalog::hasAudioTrack(int track) const
{
    const std::vector<int> tracks = audioTracks();
    return std::binary_search(tracks.begin(), tracks.end(), track);
}

void CdromCatalog::invalidate()
{
    const std::lock_guard lock(m_mutex);
    m_age.invalidate();
}

std::vector<int> CdromCatalog::audioTracks() const
{
    const std::lock_guard lock(m_mutex);
    if (m_age.isValid() && m_age.elapsed() < m_cacheMs)
        return m_audioTracks;
    m_audioTracks.clear();
    CdDrive::OpenResult result{};
    if (const auto drive = CdDrive::open(m_source, result)) {
        if (const auto toc = drive->readToc()) {
            for (const CdTrackInfo& t : toc->tracks) {
                if (t.audio)
                    m_audioTracks.push_back(t.number);
            }
        }
    }
    m_age.start();
    return m_audioTracks;
}
