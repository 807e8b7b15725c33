// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Where one sound plays: an output of the sound server, and which of its channels.
struct OutputRoute {
    /// The server's name of the output; empty: the show's own output.
    QString device;
    /// The preview output (the operator's headphones) instead of `device`.
    bool preview = false;
    /// The first channel the sound plays on, counted from 1; 0: the output's own stereo (its
    /// first two channels, or as the server maps stereo onto it).
    int firstChannel = 0;
    /// 2: a pair (`firstChannel` and the next); 1: one channel, both sides of the song mixed.
    int channelCount = 2;

    [[nodiscard]] bool isShowOutput() const { return device.isEmpty() && !preview && firstChannel == 0; }

    friend bool operator==(const OutputRoute&, const OutputRoute&) = default;
};
