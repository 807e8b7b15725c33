// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/OutputRoute.h"
#include "songs/SlotsFile.h"

#include <QString>

/// How a button plays its song, kept in the song file's companion beside the names: `volume`
/// in dB ("-6", "-4.5"), `mode` (`restart`, `toggle`, `hold`), `loop` (`yes` or `no`), `layer`
/// (`yes`: it plays over what plays), `output` (the sound server's name of the output, or
/// `preview`), `channels` (`5-6` a pair, `3` one channel, counted from 1) and `duck` (dB).
/// A default is not written; a value that cannot be read counts as the default.
struct ButtonSettings {
    /// A plain press: restart plays the song from its beginning (also when it plays already);
    /// toggle stops it when it plays from this button; hold plays it while the press is held.
    enum class Mode { Restart, Toggle, Hold };

    static constexpr double MinVolumeDb = -40.0;
    /// Above 0 dB the song is raised; samples that would pass full scale are clipped.
    static constexpr double MaxVolumeDb = 6.0;
    /// How deep a ducking button dips the others; 0 is off.
    static constexpr double MinDuckDb = 3.0;
    static constexpr double MaxDuckDb = 30.0;
    /// The highest channel an output may have.
    static constexpr int MaxChannel = 32;
    /// The output name that stands for the preview output.
    static inline const QString PreviewOutput = QStringLiteral("preview");

    double volumeDb = 0.0;
    Mode mode = Mode::Restart;
    bool loop = false;
    /// Plays over what plays: its song starts as a layer beside the show's song.
    bool layer = false;
    /// Where its song plays: empty the show's own output, `PreviewOutput`, or a server's name.
    QString output;
    /// The channels of the output, counted from 1: 0 its own stereo; with `channelCount` 2 the
    /// pair from `firstChannel`, with 1 that channel alone.
    int firstChannel = 0;
    int channelCount = 2;
    /// While it plays, every other sound is lowered by this many dB (0: off).
    double duckDb = 0.0;

    [[nodiscard]] bool isDefault() const { return *this == ButtonSettings{}; }
    /// The linear gain of the volume: 10^(dB/20).
    [[nodiscard]] double gain() const;
    /// The output and channels its song plays on.
    [[nodiscard]] OutputRoute route() const;
    /// "5-6", "3", or empty for the output's own stereo.
    [[nodiscard]] QString channelsText() const;

    /// Reads its keys out of a slot's companion keys; the others are left alone.
    [[nodiscard]] static ButtonSettings fromKeys(const SlotsFile::Keys& keys);
    /// Replaces its keys in `keys` by these settings (none for a default).
    void writeTo(SlotsFile::Keys& keys) const;

    [[nodiscard]] static QString modeName(Mode mode);

    friend bool operator==(const ButtonSettings&, const ButtonSettings&) = default;
};
