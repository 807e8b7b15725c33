// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <Qt>

class QFont;
class QPainter;

/// Text placement shared by the drawn controls. The controls were laid out with
/// the old drawing call's rules, which differ from Qt's: lines stand exactly one
/// font height apart (no leading), vertical centring applies to single lines only,
/// and "&" marks an accelerator unless told otherwise.
namespace TextDrawing {

enum Flag : unsigned {
    Left = 0x0,
    Center = 0x1,
    Right = 0x2,
    VCenter = 0x4, ///< single lines only
    Bottom = 0x8,  ///< single lines only
    WordBreak = 0x10,
    SingleLine = 0x20,
    ExpandTabs = 0x40,
    CalcRect = 0x400, ///< measure only, draw nothing
    NoPrefix = 0x800,
};

/// One line of a laid-out text.
struct Line {
    QString text;
    int accel = -1; ///< index of the underlined character, -1 for none
    QPoint origin;  ///< the top left of the line
};

/// A text laid out in a rectangle: its lines in order, and the rectangle it takes (see drawText).
struct Layout {
    QList<Line> lines;
    QRect used;
};

/// Where drawText puts the lines of `text` in `rect`, drawing nothing.
Layout layoutText(const QFont& font, const QString& text, const QRect& rect, unsigned flags);

/// Draws the lines of `layout` with `painter`'s pen in `font`, clipped to `clip`.
void drawLayout(QPainter& painter, const QFont& font, const Layout& layout, const QRect& clip);

/// Draws `text` into `rect` with `painter`'s pen in `font`, clipped to `rect`.
/// Line breaks are CR LF, LF CR, CR or LF, each pair counting as one break.
/// Returns the rectangle the text takes: its left and top are those of `rect`, its
/// width that of the widest line, its height the number of lines times the font
/// height. With CalcRect nothing is drawn and `painter` may be null.
QRect drawText(QPainter* painter, const QFont& font, const QString& text, const QRect& rect, unsigned flags);

/// The horizontal flag (Left, Center, Right) for a widget's alignment.
unsigned horizontalFlag(Qt::Alignment alignment);

/// The average character width the controls' layouts were made with: the advances of
/// the lower-case letters and the space, weighted by how often each occurs in English
/// text, rounded to whole pixels. Qt's averageCharWidth() reads the face's own figure,
/// which newer faces take over all their glyphs (capitals, digits, symbols) and so
/// comes out about a third wider for the same letters.
int averageCharWidth(const QFont& font);

} // namespace TextDrawing
