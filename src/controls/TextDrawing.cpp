// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TabColumns = 8;

/// Removes accelerator marks: "&x" underlines x, "&&" stands for "&".
QString stripPrefix(const QString& text, int& accel)
{
    QString out;
    out.reserve(text.size());
    accel = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            if (text.at(i) != QLatin1Char('&'))
                accel = static_cast<int>(out.size());
        }
        out.append(text.at(i));
    }
    return out;
}

QString expandTabs(const QString& line)
{
    QString out;
    for (const QChar c : line) {
        if (c == QLatin1Char('\t'))
            out.append(QString(TabColumns - out.size() % TabColumns, QLatin1Char(' ')));
        else
            out.append(c);
    }
    return out;
}

struct Paragraph {
    qsizetype start = 0; ///< index of its first character in the text
    QString text;
};

/// Splits at CR LF, LF CR, CR or LF; a pair of different break characters is one break.
QList<Paragraph> splitParagraphs(const QString& text)
{
    QList<Paragraph> out;
    Paragraph current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            out.append(current);
            if (i + 1 < text.size()) {
                const QChar next = text.at(i + 1);
                if ((next == QLatin1Char('\n') || next == QLatin1Char('\r')) && next != c)
                    ++i;
            }
            current = Paragraph{i + 1, QString()};
        } else {
            current.text.append(c);
        }
    }
    out.append(current);
    return out;
}

QString withoutTrailingSpaces(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == QLatin1Char(' '))
        --n;
    return s.left(n);
}

/// Greedy break at spaces so that each line fits `width`; a word wider than the
/// line keeps a line of its own.
QStringList breakWords(const QString& paragraph, int width, const QFontMetrics& fm)
{
    QStringList lines;
    QString rest = paragraph;
    while (!rest.isEmpty()) {
        if (fm.horizontalAdvance(withoutTrailingSpaces(rest)) <= width) {
            lines.append(rest);
            break;
        }
        qsizetype cut = -1;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest.at(i) != QLatin1Char(' '))
                continue;
            if (fm.horizontalAdvance(withoutTrailingSpaces(rest.left(i))) > width)
                break;
            cut = i;
        }
        if (cut <= 0) { // the first word alone is too wide
            cut = rest.indexOf(QLatin1Char(' '), 1);
            if (cut < 0) {
                lines.append(rest);
                break;
            }
        }
        qsizetype next = cut;
        while (next < rest.size() && rest.at(next) == QLatin1Char(' '))
            ++next;
        lines.append(rest.left(cut));
        rest = rest.mid(next);
    }
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

} // namespace

TextDrawing::Layout TextDrawing::layoutText(const QFont& font, const QString& text, const QRect& rect,
                                            unsigned flags)
{
    const QFontMetrics fm(font);
    int accel = -1;
    QString source = (flags & NoPrefix) ? text : stripPrefix(text, accel);

    // The lines, carrying the accelerator's position along.
    Layout layout;
    QList<Line>& lines = layout.lines;
    if (flags & SingleLine) {
        source.remove(QLatin1Char('\r'));
        source.remove(QLatin1Char('\n'));
        if (flags & ExpandTabs)
            source = expandTabs(source);
        lines.append({source, accel, {}});
    } else {
        const QList<Paragraph> paragraphs = splitParagraphs(source);
        for (const Paragraph& raw : paragraphs) {
            // Tabs move characters, so the accelerator is only followed without them.
            const bool tabs = (flags & ExpandTabs) && raw.text.contains(QLatin1Char('\t'));
            const QString paragraph = tabs ? expandTabs(raw.text) : raw.text;
            const QStringList broken =
                (flags & WordBreak) ? breakWords(paragraph, rect.width(), fm) : QStringList{paragraph};
            qsizetype from = 0;
            for (const QString& piece : broken) {
                const qsizetype start = raw.start + paragraph.indexOf(piece, from);
                Line line{piece, -1, {}};
                if (!tabs && accel >= start && accel < start + piece.size())
                    line.accel = static_cast<int>(accel - start);
                lines.append(line);
                from = start - raw.start + piece.size();
            }
        }
    }

    // Where each line stands.
    const int h = fm.height();
    int y = rect.top();
    if (flags & SingleLine) {
        if (flags & VCenter)
            y = rect.top() + (rect.height() - h) / 2;
        else if (flags & Bottom)
            y = rect.top() + rect.height() - h;
    }
    int widest = 0;
    for (Line& line : lines) {
        const int w = fm.horizontalAdvance(withoutTrailingSpaces(line.text));
        widest = std::max(widest, w);
        int x = rect.left();
        if (flags & Center)
            x = rect.left() + (rect.width() - w) / 2;
        else if (flags & Right)
            x = rect.left() + rect.width() - w;
        line.origin = QPoint(x, y);
        y += h;
    }
    layout.used = QRect(rect.left(), rect.top(), widest, h * static_cast<int>(lines.size()));
    return layout;
}

void TextDrawing::drawLayout(QPainter& painter, const QFont& font, const Layout& layout, const QRect& clip)
{
    const QFontMetrics fm(font);
    painter.save();
    painter.setFont(font);
    painter.setClipRect(clip, Qt::IntersectClip);
    for (const Line& line : layout.lines) {
        const QPoint baseline = line.origin + QPoint(0, fm.ascent());
        painter.drawText(baseline, line.text);
        if (line.accel >= 0 && line.accel < line.text.size()) {
            const int ux = baseline.x() + fm.horizontalAdvance(line.text.left(line.accel));
            const int uw = fm.horizontalAdvance(line.text.at(line.accel));
            painter.fillRect(QRect(ux, baseline.y() + 1, uw, 1), painter.pen().color());
        }
    }
    painter.restore();
}

QRect TextDrawing::drawText(QPainter* painter, const QFont& font, const QString& text, const QRect& rect,
                            unsigned flags)
{
    const Layout layout = layoutText(font, text, rect, flags);
    if (!(flags & CalcRect) && painter != nullptr)
        drawLayout(*painter, font, layout, rect);
    return layout.used;
}

unsigned TextDrawing::horizontalFlag(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignRight)
        return Right;
    if (alignment & Qt::AlignHCenter)
        return Center;
    return Left;
}

int TextDrawing::averageCharWidth(const QFont& font)
{
    // Occurrences per thousand characters of English text, space last.
    static constexpr int Weights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                        56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    const QFontMetricsF fm(font);
    double sum = 0;
    for (int i = 0; i < 27; ++i) {
        const QChar c = i < 26 ? QChar(u'a' + i) : QChar(u' ');
        sum += fm.horizontalAdvance(c) * Weights[i];
    }
    return std::max(1, static_cast<int>(std::lround(sum / 1000.0)));
}
