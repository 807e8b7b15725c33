// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusNews.h"

#include "platform/Guard.h"

#include <QPainter>
#include <QStringList>

StatusNews::StatusNews(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("StatusNews"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QPalette darkRed = palette();
    darkRed.setColor(QPalette::WindowText, QColor(128, 0, 0));
    setPalette(darkRed);
    setTextFormat(Qt::PlainText);
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long text never widens the bar
    hide();
}

void StatusNews::say(const QString& topic, const QString& text)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items[i].first != topic)
            continue;
        if (m_items[i].second == text)
            return; // said once
        m_items.removeAt(i);
        break;
    }
    m_items.append({topic, text});
    showNewest();
}

void StatusNews::clear(const QString& topic)
{
    const auto removed = m_items.removeIf([&](const auto& item) { return item.first == topic; });
    if (removed > 0)
        showNewest();
}

QString StatusNews::news(const QString& topic) const
{
    for (const auto& item : m_items)
        if (item.first == topic)
            return item.second;
    return {};
}

void StatusNews::showNewest()
{
    if (m_items.isEmpty()) {
        setText(QString());
        setToolTip(QString());
        hide();
        return;
    }
    setText(m_items.last().second);
    QStringList all;
    for (auto it = m_items.crbegin(); it != m_items.crend(); ++it)
        all << it->second;
    setToolTip(all.join(QLatin1Char('\n')));
    show();
}

void StatusNews::paintEvent(QPaintEvent*)
{
    guard([this] {
        QPainter p(this);
        drawFrame(&p);
        const QRect area = contentsRect().adjusted(3, 0, -3, 0);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    });
}
