// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/Board.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QRect>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>

/// The shown sheet as one big grid of tiles that fills the widget at any size, for a show run
/// from across the room or on a touch screen: each tile in its slot's colour (as the web page
/// draws them), its title as large as fits in two lines, its key in the corner, and on the
/// song that plays its time left, large. A strip on top shows the song that plays and its time
/// left. Follows the board one way; a press, Shift+press, release and the keyboard run the
/// board's commands as the sound buttons do.
class ShowGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int Columns = 6;
    static constexpr int Rows = Board::Slots / Columns;

    /// `keyText` gives a slot's key caption (empty for none).
    ShowGrid(Board& board, std::function<QString(int sheet, int slot)> keyText, QWidget* parent = nullptr);

    /// The tile's face and text colours for `state`.
    [[nodiscard]] static QColor tileColour(SlotState state);
    [[nodiscard]] static QColor textColour(SlotState state);
    /// The colour of the keyboard's focus mark around a tile.
    [[nodiscard]] static QColor focusColour() { return {0, 160, 255}; }

    /// A title laid out in a box: at most two lines in the largest face that fits, between
    /// `maxPixels` and `minPixels` high; at the smallest, what still does not fit ends in "…".
    struct TitleLayout {
        QStringList lines;
        QFont font; ///< in the size chosen
        bool cut = false;
    };
    [[nodiscard]] static TitleLayout layoutTitle(const QString& title, const QFont& font, QSize box,
                                                 int maxPixels, int minPixels);

    [[nodiscard]] QRect tileRect(int slot) const;
    /// The strip on top with the song that plays and its time left.
    [[nodiscard]] QRect stripRect() const;
    [[nodiscard]] TitleLayout titleOf(int slot) const;

    /// The key caption in the tile's corner; empty for none, or while captions are off.
    [[nodiscard]] QString keyCaption(int slot) const;
    /// Key captions in the tiles' corners, as on the sound buttons.
    void setShowKeys(bool on);
    /// The keys changed: the captions are read again.
    void keysChanged();

    [[nodiscard]] int focusedSlot() const { return m_focus; }
    void setFocusedSlot(int slot);

Q_SIGNALS:
    /// The tile's menu: right-click, the menu key or Shift+F10, at `globalPos`.
    void menuRequested(int slot, const QPoint& globalPos);
    /// Files were dropped onto a tile.
    void filesDropped(const QList<QUrl>& urls, int slot);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Tile {
        SlotState state = SlotState::Empty;
        QString title;
        QString key;
        mutable TitleLayout layout; ///< made anew when the title, the state or the tile's size changes
        mutable bool laidOut = false;
    };

    void readSheet();
    void readKeys();
    [[nodiscard]] int slotAt(const QPoint& pos) const;
    [[nodiscard]] QRect titleBox(int slot) const;
    void layOut();
    void paintTile(QPainter& p, int slot);
    void paintStrip(QPainter& p);
    void moveFocus(int key);
    void openMenu(int slot);
    void pressed(int slot, Qt::KeyboardModifiers mods);
    void released();
    /// The time left as the tiles and the strip show it ("-2:05").
    [[nodiscard]] static QString timeText(double seconds);

    Board& m_board;
    std::function<QString(int, int)> m_keyText;
    std::array<Tile, Board::Slots> m_tiles;
    std::array<QRect, Board::Slots> m_rects;
    QRect m_strip;
    int m_gap = 4;
    QFont m_titleFont;
    QFont m_keyFont;
    QFont m_timeFont;
    QFont m_stripFont;
    /// Titles laid out at the tiles' present size, by title and box: a sheet shown again, or a
    /// song on several sheets, is not measured again. Emptied when the tiles change size.
    mutable QHash<QString, TitleLayout> m_layouts;
    bool m_showKeys = true;
    int m_focus = 0;
    int m_held = -1;      ///< the slot a plain press holds down, until it is let go of
    int m_heldSheet = -1; ///< its sheet
    NowPlaying m_playing;
    double m_left = 0;
};
