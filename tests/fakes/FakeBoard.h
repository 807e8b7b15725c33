// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QStringList>

#include <array>

/// A board that records the commands it is given, as "press 0 2", "fade 3", and shows the state
/// a test sets; a test raises its signals itself.
class FakeBoard : public Board {
    Q_OBJECT
public:
    using Board::Board;

    QStringList commands;
    std::array<SlotState, Sheets * Slots> states{};
    std::array<QString, Sheets * Slots> titles{};
    std::array<QString, Sheets> names{}; ///< empty: "Sheet N"
    int shown = 0;
    TPlayState shownPlayState = TPlayState::psStopped;
    NowPlaying now;
    double at = 0, songLength = 0;
    bool auditioning = false;
    QList<PlayingSound> sounds;
    double master = 0;
    /// What every press runs into; empty: presses play.
    QString failure;

    [[nodiscard]] SlotState slotState(int sheet, int slot) const override
    {
        return states[index(sheet, slot)];
    }
    [[nodiscard]] QString slotTitle(int sheet, int slot) const override { return titles[index(sheet, slot)]; }
    [[nodiscard]] QString sheetName(int sheet) const override
    {
        const QString& name = names[static_cast<std::size_t>(sheet)];
        return name.isEmpty() ? QStringLiteral("Sheet %1").arg(sheet + 1) : name;
    }
    [[nodiscard]] int shownSheet() const override { return shown; }
    [[nodiscard]] TPlayState playState() const override { return shownPlayState; }
    [[nodiscard]] NowPlaying nowPlaying() const override { return now; }
    [[nodiscard]] double position() const override { return at; }
    [[nodiscard]] double length() const override { return songLength; }
    [[nodiscard]] bool audition() const override { return auditioning; }
    [[nodiscard]] QList<PlayingSound> playing() const override { return sounds; }
    [[nodiscard]] double masterLevel() const override { return master; }

    void press(int sheet, int slot, PressedBy by) override
    {
        note(QStringLiteral("press %1 %2").arg(sheet).arg(slot));
        if (!failure.isEmpty())
            Q_EMIT pressFailed(sheet, slot, failure, by);
    }
    void release(int sheet, int slot, PressedBy) override
    {
        note(QStringLiteral("release %1 %2").arg(sheet).arg(slot));
    }
    void queue(int sheet, int slot, PressedBy) override
    {
        note(QStringLiteral("queue %1 %2").arg(sheet).arg(slot));
    }
    void play() override { note(QStringLiteral("play")); }
    void stopSong() override { note(QStringLiteral("stop")); }
    void stopAll() override { note(QStringLiteral("stopall")); }
    void pause() override { note(QStringLiteral("pause")); }
    void fade(int speed) override { note(QStringLiteral("fade %1").arg(speed)); }
    void showSheet(int sheet) override { note(QStringLiteral("show %1").arg(sheet)); }
    void stopSound(int id) override { note(QStringLiteral("stopsound %1").arg(id)); }
    void fadeAll(int speed) override { note(QStringLiteral("fadeall %1").arg(speed)); }
    void setMasterLevel(double db) override { note(QStringLiteral("master %1").arg(db)); }

Q_SIGNALS:
    void commanded(const QString& command);

private:
    static std::size_t index(int sheet, int slot) { return static_cast<std::size_t>(sheet * Slots + slot); }
    void note(const QString& command)
    {
        commands << command;
        Q_EMIT commanded(command);
    }
};
