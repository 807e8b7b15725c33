// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QList>

#include <optional>

/// What a main board shows that a backup board following it must match: the show's song, its
/// queue, every layer, the shown sheet and the master level, as they were at `takenMs`.
/// Sheets and slots count from 0, positions are seconds into what the button plays.
struct MainState {
    /// A sound where it was pressed; its slot is -1 when none plays.
    struct Sound {
        int sheet = -1;
        int slot = -1;
        double position = 0.0;
        bool paused = false;
        /// The speed 1..5 it fades out at; 0 while it does not fade.
        int fadeSpeed = 0;
        /// How far its fade has come: its volume in hundredths of a dB, 0 (full) down.
        int volume = 0;

        [[nodiscard]] bool plays() const { return slot >= 0; }
        friend bool operator==(const Sound&, const Sound&) = default;
    };
    struct Slot {
        int sheet = 0;
        int slot = 0;
        friend bool operator==(const Slot&, const Slot&) = default;
    };

    /// The show's song (playing or paused).
    Sound song;
    /// The songs that wait after the show's song, in the order they will play.
    QList<Slot> queue;
    /// The sounds over the show's song, in the order they started.
    QList<Sound> layers;
    int shownSheet = 0;
    /// In dB, -60 to 0.
    double masterLevel = 0.0;
    /// When it was taken, in milliseconds on the follower's clock: the link that carries it
    /// turns the main's time into its own, its delay included.
    qint64 takenMs = 0;

    friend bool operator==(const MainState&, const MainState&) = default;

    /// The frame that carries it: {"t":"state", ...}.
    [[nodiscard]] QJsonObject toJson() const;
    /// Reads a frame of toJson(); none when it is not one. Sheets, slots and levels out of range
    /// are dropped or held in range: the frame comes from the network.
    [[nodiscard]] static std::optional<MainState> fromJson(const QJsonObject& frame);
};
