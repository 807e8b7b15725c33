// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/CdTrackCatalog.h"

/// A disc with as many tracks as the test says; 0 is no disc.
class FakeCdTrackCatalog : public CdTrackCatalog {
public:
    int trackCount() const override { return tracks; }
    int tracks = 0;
};
