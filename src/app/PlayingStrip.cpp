// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayingStrip.h"

#include "core/SongTexts.h"
#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

/// The board's colours: the tool bar's teal, the status bar's green and red.
const QColor Face(78, 139, 139);
const QColor BarBack(0, 64, 64);
const QColor BarFill(0, 192, 192);
const QColor Green(0, 160, 0);
const QColor Red(255, 0, 0);

constexpr int BarWidth = 150;
constexpr int OutputWidth = 120;
constexpr int Gap = 6;

} // namespace

PlayingRow::PlayingRow(QWidget* parent)
    : QWidget(parent)
    , m_stop(new QToolButton(this))
{
    setFixedHeight(Height);
    setFont(Fonts::arial(12));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_stop->setIconSize(QSize(14, 14));
    m_stop->setAutoRaise(true);
    m_stop->setFocusPolicy(Qt::NoFocus);
    m_stop->setCursor(Qt::PointingHandCursor);
    m_stop->setToolTip(QStringLiteral("Stop this sound"));
    connectGuarded(m_stop, &QToolButton::clicked, this, [this] { Q_EMIT stopClicked(m_sound.id); });
}

void PlayingRow::setSound(const PlayingSound& sound)
{
    if (sound == m_sound)
        return;
    m_sound = sound;
    update();
}

QString PlayingRow::leftText() const
{
    return FormatTimeLeft(m_sound.left());
}

bool PlayingRow::finalSeconds() const
{
    return m_sound.length > 0 && std::nearbyint(m_sound.left()) <= FinalSeconds;
}

void PlayingRow::resizeEvent(QResizeEvent*)
{
    m_stop->setGeometry(width() - Height, 1, Height - 2, Height - 2);
}

void PlayingRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Face);
    const int h = height();
    const int stopLeft = m_stop->x();

    // From the right: the stop, the output, the time left, the bar; the title takes the rest.
    // The columns are the same in every row, so that the bars and times stand in line.
    int right = stopLeft - Gap;
    const QRect outputRect(right - OutputWidth, 0, OutputWidth, h);
    p.setPen(Qt::white);
    p.drawText(outputRect, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(m_sound.output, Qt::ElideRight, OutputWidth));
    right = outputRect.left() - Gap;
    const QFont timeFont = Fonts::transistor(17, true);
    const int timeWidth = QFontMetrics(timeFont).horizontalAdvance(QStringLiteral("-00:00")) + 8;
    const QRect timeRect(right - timeWidth, 0, timeWidth, h);
    p.setFont(timeFont);
    p.fillRect(timeRect.adjusted(0, 2, 0, -2), Qt::black);
    p.setPen(m_sound.paused ? QColor(Qt::gray) : finalSeconds() ? Red : Green);
    p.drawText(timeRect, Qt::AlignCenter, leftText());
    p.setFont(font());
    right = timeRect.left() - Gap;

    const int barWidth = std::clamp(right / 3, 40, BarWidth);
    const QRect bar(right - barWidth, h / 2 - 4, barWidth, 8);
    p.fillRect(bar, BarBack);
    const double done = m_sound.length > 0 ? std::clamp(m_sound.position / m_sound.length, 0.0, 1.0) : 0.0;
    p.fillRect(QRect(bar.left(), bar.top(), static_cast<int>(std::lround(done * bar.width())), bar.height()),
               BarFill);

    const QRect titleRect(4, 0, bar.left() - Gap - 4, h);
    p.setPen(Qt::white);
    QString title = m_sound.title;
    if (m_sound.paused)
        title += QStringLiteral(" (paused)");
    p.drawText(titleRect, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(title, Qt::ElideRight, titleRect.width()));
}

PlayingStrip::PlayingStrip(Board& board, QWidget* parent)
    : QScrollArea(parent)
    , m_board(board)
    , m_inner(new QWidget(this))
{
    setObjectName(QStringLiteral("PlayingStrip"));
    setFrameStyle(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    auto* layout = new QVBoxLayout(m_inner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();
    setWidget(m_inner);
    hide();
    connectGuarded(&m_board, &Board::playingChanged, this, &PlayingStrip::setSounds);
    setSounds(m_board.playing());
}

void PlayingStrip::setSounds(const QList<PlayingSound>& sounds)
{
    // Rows come and go only with the sounds; a tick of the positions repaints them in place.
    auto* layout = static_cast<QVBoxLayout*>(m_inner->layout());
    const bool countChanged = m_rows.size() != sounds.size();
    while (m_rows.size() < sounds.size()) {
        auto* row = new PlayingRow(m_inner);
        connectGuarded(row, &PlayingRow::stopClicked, this, [this](int id) { m_board.stopSound(id); });
        layout->insertWidget(layout->count() - 1, row);
        m_rows << row;
    }
    while (m_rows.size() > sounds.size())
        delete m_rows.takeLast();
    for (qsizetype i = 0; i < sounds.size(); ++i)
        m_rows[i]->setSound(sounds[i]);
    if (countChanged) {
        const auto shown = static_cast<int>(std::min<qsizetype>(sounds.size(), VisibleRows));
        setFixedHeight(shown * PlayingRow::Height);
        setVerticalScrollBarPolicy(sounds.size() > VisibleRows ? Qt::ScrollBarAlwaysOn
                                                               : Qt::ScrollBarAlwaysOff);
        setVisible(!sounds.isEmpty());
    }
}
