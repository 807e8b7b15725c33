// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramStyle.h"

#include "platform/Pictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>

#include <functional>

namespace {
/// The toolkit's own picture of the arrow, at the sizes it ships, read at its first use: the arrow
/// shows only when a menu bar or a tool bar is too narrow for its items, but every menu bar asks
/// for it when it is made, before the window can show.
class ExtensionArrow : public QIconEngine {
public:
    /// `fallback` gives the style's own arrow when the toolkit's pictures are not found.
    ExtensionArrow(QString name, QList<int> sizes, std::function<QIcon()> fallback)
        : m_name(std::move(name))
        , m_sizes(std::move(sizes))
        , m_fallback(std::move(fallback))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override { return new ExtensionArrow(m_name, m_sizes, m_fallback); }
    QString key() const override { return QStringLiteral("ExtensionArrow"); }

private:
    const QIcon& icon()
    {
        if (!m_read) {
            m_read = true;
            for (const int size : std::as_const(m_sizes)) {
                const QPixmap picture =
                    Pictures::png(QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                      .arg(m_name)
                                      .arg(size));
                if (!picture.isNull())
                    m_icon.addPixmap(picture);
            }
            if (m_icon.isNull() && m_fallback)
                m_icon = m_fallback();
        }
        return m_icon;
    }

    QString m_name;
    QList<int> m_sizes;
    std::function<QIcon()> m_fallback;
    bool m_read = false;
    QIcon m_icon;
};
} // namespace

ProgramStyle::ProgramStyle() = default;

QIcon ProgramStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                 const QWidget* widget) const
{
    const bool rtl = widget ? widget->isRightToLeft() : option && option->direction == Qt::RightToLeft;
    QString name;
    QList<int> sizes;
    if (standardIcon == SP_ToolBarHorizontalExtensionButton) {
        name = rtl ? QStringLiteral("toolbar-ext-h-rtl") : QStringLiteral("toolbar-ext-h");
        sizes = {8, 16, 32};
    } else if (standardIcon == SP_ToolBarVerticalExtensionButton) {
        name = QStringLiteral("toolbar-ext-v");
        sizes = {5, 10, 20};
    } else {
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    }
    // Where the toolkit's pictures are not found by these names, the desktop's style draws its
    // own, if this style is still there when the arrow first shows.
    const QPointer<const ProgramStyle> style(this);
    const Qt::LayoutDirection direction = rtl ? Qt::RightToLeft : Qt::LeftToRight;
    return QIcon(new ExtensionArrow(name, sizes, [style, standardIcon, direction] {
        if (!style)
            return QIcon();
        QStyleOption arrowOption;
        arrowOption.direction = direction;
        return style->QProxyStyle::standardIcon(standardIcon, &arrowOption, nullptr);
    }));
}
