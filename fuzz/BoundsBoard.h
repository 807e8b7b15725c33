// SPDX-License-Identifier: GPL-3.0-or-later
// A board for the fuzzers: it plays nothing and aborts on any command outside the board's bounds,
// so a reader that lets a bad number through is caught where it hands it over.
#pragma once

#include "show/Board.h"

#include <cstdlib>

class BoundsBoard : public Board {
public:
    SlotState slotState(int, int) const override { return SlotState::Filled; }
    QString slotTitle(int, int) const override { return QStringLiteral("Song"); }
    QString sheetName(int) const override { return QStringLiteral("Sheet"); }
    int shownSheet() const override { return 0; }
    TPlayState playState() const override { return TPlayState::psPlaying; }
    NowPlaying nowPlaying() const override { return {}; }
    double position() const override { return 1; }
    double length() const override { return 2; }
    bool audition() const override { return false; }
    QList<PlayingSound> playing() const override { return {}; }
    double masterLevel() const override { return 0; }
    void press(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void release(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void queue(int sheet, int slot, PressedBy) override { check(sheet, slot); }
    void play() override {}
    void stopSong() override {}
    void stopAll() override {}
    void pause() override {}
    void fade(int speed) override { checkSpeed(speed); }
    void showSheet(int sheet) override { check(sheet, 0); }
    void stopSound(int) override {} // any id: one that plays nothing is ignored
    void fadeAll(int speed) override { checkSpeed(speed); }
    void setMasterLevel(double) override {} // the board holds any number within its range

private:
    static void check(int sheet, int slot)
    {
        if (sheet < 0 || sheet >= Sheets || slot < 0 || slot >= Slots)
            std::abort();
    }
    static void checkSpeed(int speed)
    {
        if (speed < 0 || speed > FadeSpeeds)
            std::abort();
    }
};
