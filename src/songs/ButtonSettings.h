// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/SlotsFile.h"

#include <QString>

/// How a button plays its song, kept in the song file's companion beside the names: `volume`
/// in dB ("-6", "-4.5"), `mode` (`restart`, `toggle`, `hold`) and `loop` (`yes` or `no`).
/// A default is not written; a value that cannot be read counts as the default.
struct ButtonSettings {
    /// A plain press: restart plays the song from its beginning (also when it plays already);
    /// toggle stops it when it plays from this button; hold plays it while the press is held.
    enum class Mode { Restart, Toggle, Hold };

    static constexpr double MinVolumeDb = -40.0;
    /// Above 0 dB the song is raised; samples that would pass full scale are clipped.
    static constexpr double MaxVolumeDb = 6.0;

    double volumeDb = 0.0;
    Mode mode = Mode::Restart;
    bool loop = false;

    [[nodiscard]] bool isDefault() const { return *this == ButtonSettings{}; }
    /// The linear gain of the volume: 10^(dB/20).
    [[nodiscard]] double gain() const;

    /// Reads the three keys out of a slot's companion keys; the others are left alone.
    [[nodiscard]] static ButtonSettings fromKeys(const SlotsFile::Keys& keys);
    /// Replaces the three keys in `keys` by these settings (none for a default).
    void writeTo(SlotsFile::Keys& keys) const;

    [[nodiscard]] static QString modeName(Mode mode);

    friend bool operator==(const ButtonSettings&, const ButtonSettings&) = default;
};
