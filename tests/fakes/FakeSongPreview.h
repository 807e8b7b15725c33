// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Errors.h"
#include "songs/SongPreview.h"

/// A preview that plays nothing and records what it was asked to play: `path` from `from`
/// (nullopt once stopped). Says why it cannot play while `why` is set; a CD track raises, as
/// the real one does.
struct FakeSongPreview : SongPreview {
    QString why;
    QString path;
    std::optional<double> from;
    int plays = 0;

    [[nodiscard]] QString unavailable() const override { return why; }
    void playFrom(const QString& song, double seconds) override
    {
        if (song.startsWith(QLatin1String("cdda:")))
            throw DeviceError(QStringLiteral("Unable to preview ") + song);
        path = song;
        from = seconds;
        ++plays;
    }
    void stopPreview() override { from.reset(); }
    [[nodiscard]] std::optional<double> previewPosition() const override { return from; }
};
