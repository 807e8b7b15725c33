// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowGrid.h"

#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

const QColor Background{0x1b, 0x1b, 0x1b};
/// The time left turns red for the song's last seconds, as the web page's does.
constexpr double EndingSeconds = 10.0;
/// The face titles are measured in before one is chosen.
constexpr int ReferencePixels = 100;
/// Every slot of every sheet, twice over (the playing tile's box is smaller).
constexpr qsizetype MaxLayouts = 2 * Board::Sheets * Board::Slots;

bool carriesFiles(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
}

bool isEnter(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

bool isMenuKey(const QKeyEvent* e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    return (e->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
           (e->key() == Qt::Key_F10 && mods == Qt::ShiftModifier);
}

/// `words` greedily in lines no wider than `width`; false when a word alone is wider.
bool wrap(const QStringList& words, const QFontMetrics& fm, int width, QStringList& lines)
{
    lines.clear();
    QString line;
    for (const QString& word : words) {
        if (fm.horizontalAdvance(word) > width)
            return false;
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (fm.horizontalAdvance(longer) <= width) {
            line = longer;
            continue;
        }
        lines << line;
        line = word;
    }
    if (!line.isEmpty())
        lines << line;
    return true;
}

} // namespace

ShowGrid::ShowGrid(Board& board, std::function<QString(int, int)> keyText, QWidget* parent)
    : QWidget(parent)
    , m_board(board)
    , m_keyText(std::move(keyText))
    , m_titleFont(Fonts::arial(16))
    , m_keyFont(Fonts::arial(12))
    , m_timeFont(Fonts::arial(24))
    , m_stripFont(Fonts::arial(20))
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    m_titleFont.setBold(true);
    m_timeFont.setBold(true);
    m_playing = m_board.nowPlaying();
    m_left = m_board.timeLeft();
    readSheet();

    connect(&m_board, &Board::slotChanged, this,
            [this](int sheet, int slot, SlotState state, const QString& title) {
                if (sheet != m_board.shownSheet() || slot < 0 || slot >= Board::Slots)
                    return;
                Tile& t = m_tiles[static_cast<std::size_t>(slot)];
                t.laidOut = t.laidOut && t.title == title &&
                            (t.state == SlotState::Playing) == (state == SlotState::Playing);
                t.state = state;
                t.title = title;
                update(tileRect(slot));
            });
    connect(&m_board, &Board::sheetShown, this, [this] {
        readSheet();
        update();
    });
    connect(&m_board, &Board::nowPlayingChanged, this, [this](const NowPlaying& song) {
        m_playing = song;
        update(m_strip);
    });
    connect(&m_board, &Board::timeChanged, this, [this](double, double, double left) {
        m_left = left;
        update(m_strip);
        for (int k = 0; k < Board::Slots; ++k)
            if (m_tiles[static_cast<std::size_t>(k)].state == SlotState::Playing)
                update(tileRect(k));
    });
}

QColor ShowGrid::tileColour(SlotState state)
{
    switch (state) {
    case SlotState::Empty:
        return {0x26, 0x26, 0x26};
    case SlotState::Filled:
        return {0x44, 0x44, 0x44};
    case SlotState::Playing:
        return {0x00, 0x80, 0x00};
    case SlotState::Next:
        return {0xff, 0xff, 0x00};
    case SlotState::Queued:
        return {0xff, 0x00, 0x00};
    }
    return {0x44, 0x44, 0x44};
}

QColor ShowGrid::textColour(SlotState state)
{
    switch (state) {
    case SlotState::Empty:
        return {0x77, 0x77, 0x77};
    case SlotState::Next:
        return {0, 0, 0};
    case SlotState::Filled:
        return {0xee, 0xee, 0xee};
    case SlotState::Playing:
    case SlotState::Queued:
        break;
    }
    return {0xff, 0xff, 0xff};
}

ShowGrid::TitleLayout ShowGrid::layoutTitle(const QString& title, const QFont& font, QSize box, int maxPixels,
                                            int minPixels)
{
    TitleLayout out;
    const QStringList words = title.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || box.width() <= 0 || box.height() <= 0)
        return out;
    QFont f = font;
    const auto fits = [&](int px, QStringList& lines) {
        f.setPixelSize(px);
        const QFontMetrics fm(f);
        return wrap(words, fm, box.width(), lines) && lines.size() <= 2 &&
               lines.size() * fm.height() <= box.height();
    };
    // The largest face that fits: a smaller face never needs more lines. Widths grow with the
    // face's size, so one measure of the words in a large face finds it; the faces it passes
    // over are never made, which would cost a sheet change a tenth of a second.
    QFont reference = font;
    reference.setPixelSize(ReferencePixels);
    const QFontMetricsF rm(reference);
    std::vector<qreal> widths;
    widths.reserve(static_cast<std::size_t>(words.size()));
    for (const QString& word : words)
        widths.push_back(rm.horizontalAdvance(word));
    const qreal space = rm.horizontalAdvance(QLatin1Char(' '));
    const auto seemsToFit = [&](int px) {
        const qreal scale = qreal(px) / ReferencePixels;
        const qreal width = box.width() / scale;
        int count = 1;
        qreal line = -space;
        for (const qreal w : widths) {
            if (w > width)
                return false;
            if (line + space + w > width) {
                ++count;
                line = w;
            } else {
                line += space + w;
            }
        }
        return count <= 2 && count * rm.height() * scale <= box.height();
    };
    int lo = minPixels;
    int hi = std::max(minPixels, maxPixels);
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (seemsToFit(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    // Large faces come in steps of four pixels: fewer faces to render, and a row of titles of
    // one size where the eye cannot tell 41 from 43.
    if (lo >= 24)
        lo = std::max(minPixels, lo - lo % 4);
    // The face itself has the last word: hinting may widen a line by a pixel or two.
    QStringList lines;
    for (int px = lo; px >= minPixels && px >= lo - 3; --px) {
        if (fits(px, lines)) {
            out.lines = lines;
            out.font = font;
            out.font.setPixelSize(px);
            return out;
        }
    }
    // Too long even at the smallest face: two lines (one where two do not fit), the last cut.
    f.setPixelSize(minPixels);
    const QFontMetrics fm(f);
    const int count = box.height() >= 2 * fm.height() ? 2 : 1;
    const QString text = words.join(QLatin1Char(' '));
    QString rest = text;
    out.font = f;
    out.cut = true;
    if (count == 2) {
        // The first line takes the words that fit, or as much of a long word as fits.
        QString first;
        for (const QString& word : words) {
            const QString longer = first.isEmpty() ? word : first + QLatin1Char(' ') + word;
            if (fm.horizontalAdvance(longer) > box.width())
                break;
            first = longer;
        }
        if (first.isEmpty()) {
            int n = static_cast<int>(text.size());
            while (n > 1 && fm.horizontalAdvance(text.left(n)) > box.width())
                --n;
            first = text.left(n);
        }
        out.lines << first;
        rest = text.mid(first.size()).trimmed();
    }
    out.lines << fm.elidedText(rest, Qt::ElideRight, box.width());
    return out;
}

QRect ShowGrid::tileRect(int slot) const
{
    return slot >= 0 && slot < Board::Slots ? m_rects[static_cast<std::size_t>(slot)] : QRect();
}

QRect ShowGrid::stripRect() const
{
    return m_strip;
}

ShowGrid::TitleLayout ShowGrid::titleOf(int slot) const
{
    const Tile& t = m_tiles[static_cast<std::size_t>(slot)];
    if (!t.laidOut) {
        // The smallest face still reads from a few steps away on a large tile.
        const QRect box = titleBox(slot);
        // A short title may fill its box, up to two fifths of the tile's height; "<empty>" stays
        // small, so that the songs catch the eye.
        const int tall = tileRect(slot).height();
        const int largest =
            std::max(12, std::min(box.height(), t.state == SlotState::Empty ? tall / 5 : tall * 2 / 5));
        const QString key =
            QStringLiteral("%1x%2x%3 ").arg(box.width()).arg(box.height()).arg(largest) + t.title;
        auto it = m_layouts.constFind(key);
        if (it == m_layouts.cend()) {
            if (m_layouts.size() > MaxLayouts)
                m_layouts.clear();
            it = m_layouts.insert(key, layoutTitle(t.title, m_titleFont, box.size(), largest,
                                                   std::clamp(box.height() / 6, 11, 24)));
        }
        t.layout = *it;
        t.laidOut = true;
    }
    return t.layout;
}

QString ShowGrid::keyCaption(int slot) const
{
    return m_showKeys && slot >= 0 && slot < Board::Slots ? m_tiles[static_cast<std::size_t>(slot)].key
                                                          : QString();
}

void ShowGrid::setShowKeys(bool on)
{
    if (on == m_showKeys)
        return;
    m_showKeys = on;
    layOut();
    update();
}

void ShowGrid::keysChanged()
{
    readKeys();
    update();
}

void ShowGrid::setFocusedSlot(int slot)
{
    if (slot < 0 || slot >= Board::Slots || slot == m_focus)
        return;
    update(tileRect(m_focus));
    m_focus = slot;
    update(tileRect(m_focus));
}

void ShowGrid::readSheet()
{
    const int sheet = m_board.shownSheet();
    for (int k = 0; k < Board::Slots; ++k) {
        Tile& t = m_tiles[static_cast<std::size_t>(k)];
        t.state = m_board.slotState(sheet, k);
        t.title = m_board.slotTitle(sheet, k);
        t.laidOut = false;
    }
    readKeys();
}

void ShowGrid::readKeys()
{
    const int sheet = m_board.shownSheet();
    for (int k = 0; k < Board::Slots; ++k)
        m_tiles[static_cast<std::size_t>(k)].key = m_keyText ? m_keyText(sheet, k) : QString();
}

void ShowGrid::layOut()
{
    const int w = width();
    const int h = height();
    m_gap = std::clamp(std::min(w, h) / 150, 2, 8);
    const int stripHeight = std::clamp(h / 10, 24, 96);
    m_strip = QRect(0, 0, w, stripHeight);
    // Columns and rows share out the room to the pixel: every margin is one gap.
    const int across = w - m_gap;
    const int down = h - stripHeight - m_gap;
    for (int k = 0; k < Board::Slots; ++k) {
        const int c = k % Columns;
        const int r = k / Columns;
        const int left = m_gap + c * across / Columns;
        const int right = (c + 1) * across / Columns;
        const int top = stripHeight + m_gap + r * down / Rows;
        const int bottom = stripHeight + (r + 1) * down / Rows;
        m_rects[static_cast<std::size_t>(k)] = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }
    const int tileHeight = std::max(1, down / Rows - m_gap);
    m_keyFont.setPixelSize(std::clamp(tileHeight / 7, 10, 28));
    m_timeFont.setPixelSize(std::clamp(tileHeight * 2 / 5, 10, 120));
    m_stripFont.setPixelSize(std::max(10, stripHeight * 11 / 20));
    for (Tile& t : m_tiles)
        t.laidOut = false;
    m_layouts.clear();
}

QRect ShowGrid::titleBox(int slot) const
{
    const QRect tile = tileRect(slot);
    const int pad = std::max(3, tile.height() / 14);
    QRect box = tile.adjusted(pad, pad, -pad, -pad);
    if (m_showKeys)
        box.setTop(box.top() + QFontMetrics(m_keyFont).height() * 2 / 3);
    if (m_tiles[static_cast<std::size_t>(slot)].state == SlotState::Playing)
        box.setHeight(box.height() * 11 / 20); // the time left takes the rest
    return box;
}

void ShowGrid::resizeEvent(QResizeEvent* event)
{
    guard([this] { layOut(); });
    QWidget::resizeEvent(event);
}

void ShowGrid::paintEvent(QPaintEvent* event)
{
    guard([&] {
        QPainter p(this);
        p.fillRect(event->rect(), Background);
        if (event->rect().intersects(m_strip))
            paintStrip(p);
        for (int k = 0; k < Board::Slots; ++k)
            if (event->rect().intersects(m_rects[static_cast<std::size_t>(k)]))
                paintTile(p, k);
    });
}

void ShowGrid::paintTile(QPainter& p, int slot)
{
    const Tile& t = m_tiles[static_cast<std::size_t>(slot)];
    const QRect tile = tileRect(slot);
    p.fillRect(tile, tileColour(t.state));
    const QColor text = textColour(t.state);
    p.setPen(text);
    const TitleLayout title = titleOf(slot);
    if (!title.lines.isEmpty()) {
        p.setFont(title.font);
        const QFontMetrics fm(title.font);
        const QRect box = titleBox(slot);
        const int lineHeight = fm.height();
        int y = box.top() + (box.height() - lineHeight * static_cast<int>(title.lines.size())) / 2;
        for (const QString& line : title.lines) {
            p.drawText(QRect(box.left(), y, box.width(), lineHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                       line);
            y += lineHeight;
        }
    }
    if (m_showKeys && !t.key.isEmpty()) {
        p.setFont(m_keyFont);
        // Inside the focus mark, which is a gap wide.
        const int pad = std::max(3, m_gap) + 2;
        const QRect corner = tile.adjusted(pad, pad, -pad, 0);
        p.drawText(corner, Qt::AlignRight | Qt::AlignTop,
                   QFontMetrics(m_keyFont).elidedText(t.key, Qt::ElideRight, corner.width() / 2));
    }
    if (t.state == SlotState::Playing) {
        const QRect box = titleBox(slot);
        const QRect time(box.left(), box.bottom() + 1, box.width(), tile.bottom() - box.bottom() - 2);
        p.setFont(m_timeFont);
        p.drawText(time, Qt::AlignCenter, timeText(m_left));
    }
    if (hasFocus() && slot == m_focus) {
        const int width = std::max(3, m_gap);
        p.setPen(QPen(focusColour(), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRect(tile.adjusted(width / 2, width / 2, -(width + 1) / 2, -(width + 1) / 2));
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(tile.adjusted(width, width, -width - 1, -width - 1));
    }
}

void ShowGrid::paintStrip(QPainter& p)
{
    const int pad = std::max(4, m_strip.height() / 6);
    const QRect inner = m_strip.adjusted(pad, 0, -pad, 0);
    p.setFont(m_stripFont);
    const bool playing = m_playing.slot >= 0 || !m_playing.path.isEmpty();
    const QString left = playing ? timeText(m_left) : QString();
    const int timeWidth = QFontMetrics(m_stripFont).horizontalAdvance(QStringLiteral("-00:00")) + pad;
    if (playing) {
        p.setPen(m_left <= EndingSeconds ? QColor(0xff, 0x3b, 0x30) : QColor(0xee, 0xee, 0xee));
        p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, left);
        p.setPen(QColor(0xee, 0xee, 0xee));
        const QRect title = inner.adjusted(0, 0, -timeWidth, 0);
        p.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(m_stripFont).elidedText(m_playing.title, Qt::ElideRight, title.width()));
    }
}

QString ShowGrid::timeText(double seconds)
{
    const int s = std::max(0, static_cast<int>(std::ceil(seconds)));
    return QStringLiteral("-%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

int ShowGrid::slotAt(const QPoint& pos) const
{
    for (int k = 0; k < Board::Slots; ++k)
        if (m_rects[static_cast<std::size_t>(k)].contains(pos))
            return k;
    return -1;
}

void ShowGrid::pressed(int slot, Qt::KeyboardModifiers mods)
{
    const int sheet = m_board.shownSheet();
    if (mods.testFlag(Qt::ShiftModifier)) {
        m_board.queue(sheet, slot, PressedBy::Mouse);
        return;
    }
    m_held = slot;
    m_heldSheet = sheet;
    m_board.press(sheet, slot, PressedBy::Mouse);
}

void ShowGrid::released()
{
    if (m_held < 0)
        return;
    const int slot = std::exchange(m_held, -1);
    m_board.release(m_heldSheet, slot, PressedBy::Mouse);
}

void ShowGrid::mousePressEvent(QMouseEvent* event)
{
    guard([&] {
        const int slot = slotAt(event->position().toPoint());
        if (slot < 0)
            return;
        setFocusedSlot(slot);
        // Any button presses, as on the sound buttons: the right one then opens the menu.
        pressed(slot, event->modifiers());
    });
}

void ShowGrid::mouseReleaseEvent(QMouseEvent* event)
{
    guard([&] {
        released();
        const int slot = slotAt(event->position().toPoint());
        if (event->button() == Qt::RightButton && slot >= 0)
            Q_EMIT menuRequested(slot, event->globalPosition().toPoint());
    });
}

bool ShowGrid::event(QEvent* event)
{
    // The focused tile's own keys come before the window's shortcuts (Shift+F10 among them).
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (isMenuKey(key) || (isEnter(key) && (mods == Qt::NoModifier || mods == Qt::ShiftModifier))) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void ShowGrid::keyPressEvent(QKeyEvent* event)
{
    bool handled = true;
    guard([&] {
        const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
        if (isMenuKey(event)) {
            openMenu(m_focus);
        } else if (isEnter(event) && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
            if (!event->isAutoRepeat()) // a key held down presses once
                pressed(m_focus, mods);
        } else if (mods == Qt::NoModifier && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right ||
                                              event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
            moveFocus(event->key());
        } else {
            handled = false;
        }
    });
    if (!handled)
        QWidget::keyPressEvent(event);
}

void ShowGrid::keyReleaseEvent(QKeyEvent* event)
{
    guard([&] {
        if (isEnter(event) && !event->isAutoRepeat())
            released();
    });
    QWidget::keyReleaseEvent(event);
}

void ShowGrid::moveFocus(int key)
{
    const int row = m_focus / Columns;
    const int column = m_focus % Columns;
    int to = m_focus;
    if (key == Qt::Key_Left && column > 0)
        to = m_focus - 1;
    else if (key == Qt::Key_Right && column < Columns - 1)
        to = m_focus + 1;
    else if (key == Qt::Key_Up && row > 0)
        to = m_focus - Columns;
    else if (key == Qt::Key_Down && row < Rows - 1)
        to = m_focus + Columns;
    setFocusedSlot(to); // at an edge the focus stays
}

void ShowGrid::openMenu(int slot)
{
    Q_EMIT menuRequested(slot, mapToGlobal(tileRect(slot).center()));
}

void ShowGrid::focusInEvent(QFocusEvent* event)
{
    update(tileRect(m_focus));
    QWidget::focusInEvent(event);
}

void ShowGrid::focusOutEvent(QFocusEvent* event)
{
    // A plain press held by Enter or the mouse is let go of when the focus leaves.
    guard([this] { released(); });
    update(tileRect(m_focus));
    QWidget::focusOutEvent(event);
}

void ShowGrid::contextMenuEvent(QContextMenuEvent* event)
{
    // The right button's menu opens on its release; the keyboard's opens over the focused tile.
    if (event->reason() == QContextMenuEvent::Keyboard)
        guard([this] { openMenu(m_focus); });
    event->accept();
}

void ShowGrid::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void ShowGrid::dragMoveEvent(QDragMoveEvent* event)
{
    if (carriesFiles(event->mimeData()) && slotAt(event->position().toPoint()) >= 0) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ShowGrid::dropEvent(QDropEvent* event)
{
    guard([&] {
        const int slot = slotAt(event->position().toPoint());
        if (!carriesFiles(event->mimeData()) || slot < 0) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        Q_EMIT filesDropped(event->mimeData()->urls(), slot);
    });
}
