// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QList>
#include <QString>

#include <array>

class QTimer;
class TMainForm;

/// The board's commands and state over the main window: each command runs the window's own
/// handler for that action (a slot press goes through the button's press handler on the
/// slot's sheet), and what the window shows is told as the board's signals.
class BoardControl : public Board {
    Q_OBJECT
public:
    explicit BoardControl(TMainForm& form, QObject* parent = nullptr);

    [[nodiscard]] SlotState slotState(int sheet, int slot) const override;
    [[nodiscard]] QString slotTitle(int sheet, int slot) const override;
    [[nodiscard]] QString sheetName(int sheet) const override;
    [[nodiscard]] int shownSheet() const override;
    [[nodiscard]] TPlayState playState() const override;
    [[nodiscard]] NowPlaying nowPlaying() const override;
    [[nodiscard]] double position() const override;
    [[nodiscard]] double length() const override;

    void press(int sheet, int slot, PressedBy by) override;
    void release(int sheet, int slot) override;
    void queue(int sheet, int slot) override;
    void play() override;
    void stopSong() override;
    void stopAll() override;
    void pause() override;
    void fade(int speed) override;
    void showSheet(int sheet) override;

private:
    struct Shown {
        SlotState state = SlotState::Empty;
        QString title;
    };

    /// Compares what the window shows now with what was told last, and tells the differences.
    void follow();
    void tick();
    [[nodiscard]] bool validSlot(int sheet, int slot) const;

    TMainForm& m_form;
    QTimer* m_clock;
    std::array<Shown, Sheets * Slots> m_slots{};
    std::array<QString, Sheets> m_sheetNames{};
    int m_shownSheet = -1;
    TPlayState m_playState = TPlayState::psStopped;
    NowPlaying m_nowPlaying;
    bool m_followPending = false;
};
