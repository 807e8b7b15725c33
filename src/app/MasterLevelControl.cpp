// SPDX-License-Identifier: GPL-3.0-or-later
#include "MasterLevelControl.h"

#include "platform/Fonts.h"
#include "platform/Guard.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr double MinDb = -60.0;
constexpr double YellowDb = -12.0;
constexpr double RedDb = -3.0;

} // namespace

LevelMeter::LevelMeter(QWidget* parent)
    : QWidget(parent)
{
    setMinimumWidth(30);
    setFixedHeight(12);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QStringLiteral("What the board sends, in dB of full scale"));
}

void LevelMeter::addPeak(double linear, double seconds)
{
    const double db = linear > 0 ? std::max(FloorDb, 20.0 * std::log10(linear)) : FloorDb;
    const double fallen = std::max(FloorDb, m_db - FallDbPerSecond * seconds);
    const double shown = std::max(db, fallen);
    if (shown == m_db)
        return;
    m_db = shown;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const auto at = [&inner](double db) {
        return inner.left() + static_cast<int>(std::lround((std::clamp(db, FloorDb, 0.0) - FloorDb) /
                                                           -FloorDb * inner.width()));
    };
    const int level = at(m_db);
    const struct {
        double from, to;
        QColor colour;
    } zones[] = {{FloorDb, YellowDb, QColor(0, 200, 0)},
                 {YellowDb, RedDb, QColor(230, 210, 0)},
                 {RedDb, 0.0, QColor(255, 0, 0)}};
    for (const auto& zone : zones) {
        const int left = at(zone.from);
        const int right = std::min(at(zone.to), level);
        if (right > left)
            p.fillRect(QRect(left, inner.top(), right - left, inner.height()), zone.colour);
    }
}

MasterLevelControl::MasterLevelControl(Board& board, QWidget* parent)
    : QWidget(parent)
    , m_board(board)
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_value(new QLabel(this))
    , m_meter(new LevelMeter(this))
    , m_poll(new QTimer(this))
{
    setObjectName(QStringLiteral("MasterLevel"));
    setFont(Fonts::arial(12));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(4);
    m_slider->setRange(static_cast<int>(MinDb), 0);
    m_slider->setPageStep(6);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_slider->setToolTip(QStringLiteral("Master level: every sound but the preview"));
    m_value->setFixedWidth(m_value->fontMetrics().horizontalAdvance(QStringLiteral("-60 dB")) + 4);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette white = m_value->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    m_value->setPalette(white);
    m_caption = new QLabel(QStringLiteral("Master"), this);
    m_caption->setPalette(white);
    layout->addWidget(m_caption);
    layout->addWidget(m_slider, 3);
    layout->addWidget(m_value);
    layout->addWidget(m_meter, 2);
    m_meter->hide();
    resize(FullWidth, 26);

    showLevel(m_board.masterLevel());
    connectGuarded(m_slider, &QSlider::valueChanged, this, [this](int db) {
        m_value->setText(levelText(db));
        m_board.setMasterLevel(db);
    });
    connectGuarded(&m_board, &Board::masterLevelChanged, this, &MasterLevelControl::showLevel);
    m_poll->setInterval(PollMs);
    connectGuarded(m_poll, &QTimer::timeout, this, &MasterLevelControl::poll);

    if (parent) {
        parent->installEventFilter(this);
        for (QToolButton* b : parent->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            b->installEventFilter(this);
        place();
    }
}

void MasterLevelControl::setPeakSource(std::function<double()> peak)
{
    m_peak = std::move(peak);
    m_meter->setVisible(static_cast<bool>(m_peak));
    if (m_peak)
        m_poll->start();
    else
        m_poll->stop();
}

QString MasterLevelControl::levelText(double db)
{
    return QStringLiteral("%1 dB").arg(static_cast<int>(std::lround(db)));
}

void MasterLevelControl::showLevel(double db)
{
    const QSignalBlocker quiet(m_slider); // the board's own level is not set again
    m_slider->setValue(static_cast<int>(std::lround(db)));
    m_value->setText(levelText(db));
}

void MasterLevelControl::poll()
{
    static_assert(PollMs > 0);
    if (m_peak)
        m_meter->addPeak(m_peak(), PollMs / 1000.0);
}

bool MasterLevelControl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
        event->type() == QEvent::ChildPolished) {
        if (event->type() == QEvent::ChildPolished)
            if (auto* b = qobject_cast<QToolButton*>(static_cast<QChildEvent*>(event)->child()))
                b->installEventFilter(this);
        guard([this] { place(); });
    }
    return QWidget::eventFilter(watched, event);
}

void MasterLevelControl::place()
{
    // The widest room between the tool bar's buttons, or after the last.
    QWidget* bar = parentWidget();
    QList<QRect> taken;
    for (const QToolButton* b : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        taken << b->geometry();
    std::sort(taken.begin(), taken.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    int bestLeft = 0;
    int bestWidth = 0;
    int left = 0;
    for (const QRect& r : taken) {
        if (r.left() - left > bestWidth) {
            bestLeft = left;
            bestWidth = r.left() - left;
        }
        left = std::max(left, r.right() + 1);
    }
    if (bar->width() - left > bestWidth) {
        bestLeft = left;
        bestWidth = bar->width() - left;
    }
    const int width = std::min(FullWidth, bestWidth - 8);
    setVisible(width >= LeastWidth);
    m_caption->setVisible(width >= FullWidth * 3 / 4); // in little room the tool tip names it
    const int height = 26;
    setGeometry(bestLeft + (bestWidth - width) / 2, (bar->height() - height) / 2, width, height);
}
