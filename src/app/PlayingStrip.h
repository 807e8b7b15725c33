// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QList>
#include <QScrollArea>

class QToolButton;

/// One sound of the strip: its title, a bar of its position, its time left (red in its last
/// seconds), its output when not the show's, and a stop button. It paints itself, so that a
/// new position repaints the row and lays nothing out.
class PlayingRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 22;

    explicit PlayingRow(QWidget* parent);

    /// Repaints when what it shows changed.
    void setSound(const PlayingSound& sound);
    [[nodiscard]] const PlayingSound& sound() const { return m_sound; }
    /// "-01:05", as the position panel counts the time left down.
    [[nodiscard]] QString leftText() const;
    /// In the sound's last seconds: the time left shows in red.
    [[nodiscard]] bool finalSeconds() const;
    [[nodiscard]] QToolButton* stopButton() const { return m_stop; }

Q_SIGNALS:
    void stopClicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PlayingSound m_sound;
    QToolButton* m_stop;
};

/// What plays, a row each: the show's song first, then the layers in the order they started.
/// Follows the board's list of what plays one way; a row's stop stops its sound. Hidden while
/// nothing plays; a row is made or dropped only when a sound starts or ends, and at most
/// `VisibleRows` show at once (the others scroll).
class PlayingStrip : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int VisibleRows = 3;

    PlayingStrip(Board& board, QWidget* parent);

    [[nodiscard]] const QList<PlayingRow*>& rows() const { return m_rows; }

private:
    void setSounds(const QList<PlayingSound>& sounds);

    Board& m_board;
    QWidget* m_inner;
    QList<PlayingRow*> m_rows;
};
