// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mci/CdTrackCatalog.h"

/// A disc with a set number of tracks (0: no disc).
class FakeCdTrackCatalog : public CdTrackCatalog {
public:
    explicit FakeCdTrackCatalog(int trackTotal = 0)
        : tracks(trackTotal)
    {
    }
    int trackCount() const override { return tracks; }
    int tracks;
};
