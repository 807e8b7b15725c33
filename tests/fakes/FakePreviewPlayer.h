// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/PreviewPlayer.h"
#include "platform/Errors.h"

/// A preview player that records what it was asked to play; a path in `unplayable` raises.
class FakePreviewPlayer : public PreviewPlayer {
public:
    void play(const QString& path, double fromSeconds) override
    {
        if (path == unplayable)
            throw DeviceError(QStringLiteral("Unable to preview ") + path);
        playing = path;
        from = fromSeconds;
        ++plays;
    }
    void stop() override
    {
        if (playing.isEmpty())
            return;
        playing.clear();
        Q_EMIT stopped(QString());
    }
    [[nodiscard]] bool isPlaying() const override { return !playing.isEmpty(); }
    [[nodiscard]] double position() const override { return from; }
    [[nodiscard]] double duration() const override { return 60.0; }

    QString playing;
    QString unplayable;
    double from = 0.0;
    int plays = 0;
};
