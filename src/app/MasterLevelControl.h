// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;
class QTimer;

/// A meter of what the board sends, in dBFS from -60 to 0: green, yellow from -12 dB and red
/// from -3 dB. A peak falls back slowly, as the eye can follow it.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr double FloorDb = -60.0;
    /// How far the shown level falls a second after a peak.
    static constexpr double FallDbPerSecond = 24.0;

    explicit LevelMeter(QWidget* parent);

    /// A new peak (linear, 1 full scale) `seconds` after the one before.
    void addPeak(double linear, double seconds);
    [[nodiscard]] double shownDb() const { return m_db; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_db = FloorDb;
};

/// The master level on the board: a slider from -60 to 0 dB with its value beside it, and a
/// meter of what the board sends, read about twenty times a second from `peak` (no meter when
/// none is given). Moving the slider sets the board's master level; the slider follows the
/// board's, whoever set it. On the tool bar it takes the widest room its buttons leave, also
/// when they move (the show view makes them touch-sized).
class MasterLevelControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int PollMs = 50;
    static constexpr int FullWidth = 300;
    static constexpr int LeastWidth = 90;

    MasterLevelControl(Board& board, QWidget* parent);

    /// The peak the board sent since last asked, linear; null: no meter.
    void setPeakSource(std::function<double()> peak);

    [[nodiscard]] QSlider* slider() const { return m_slider; }
    [[nodiscard]] QLabel* valueLabel() const { return m_value; }
    [[nodiscard]] LevelMeter* meter() const { return m_meter; }

    /// "-12 dB", "0 dB".
    [[nodiscard]] static QString levelText(double db);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void showLevel(double db);
    void poll();

    Board& m_board;
    QLabel* m_caption = nullptr;
    QSlider* m_slider;
    QLabel* m_value;
    LevelMeter* m_meter;
    QTimer* m_poll;
    std::function<double()> m_peak;
};
