// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

/// Plays one song at a time for the operator's ears only, from any point of it, beside the
/// show's own player and without touching it.
class PreviewPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PreviewPlayer() override = default;

    /// Plays `path` from `fromSeconds` on, in place of what the preview played. Raises
    /// DeviceError("Unable to preview <path>: <reason>") when the file cannot be opened, and
    /// NoAudioOutput when the output cannot play; what played then has stopped.
    virtual void play(const QString& path, double fromSeconds) = 0;
    /// Stops at once; `stopped` follows only when something played.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isPlaying() const = 0;
    /// Seconds into the song that is heard now.
    [[nodiscard]] virtual double position() const = 0;
    /// The song's length in seconds as far as it is known.
    [[nodiscard]] virtual double duration() const = 0;

Q_SIGNALS:
    /// On the GUI thread, once a preview ended: at its end, by `stop`, or its output gone
    /// (`reason` then says why; empty otherwise).
    void stopped(const QString& reason);
};
