// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramStyle.h"

#include "platform/Pictures.h"

#include <QStyleOption>
#include <QWidget>

namespace {
/// The toolkit's own picture of the arrow, at the sizes it ships.
QIcon extensionArrow(const QString& name, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (const int size : sizes) {
        const QPixmap picture = Pictures::png(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png").arg(name).arg(size));
        if (!picture.isNull())
            icon.addPixmap(picture);
    }
    return icon;
}
} // namespace

ProgramStyle::ProgramStyle() = default;

QIcon ProgramStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                 const QWidget* widget) const
{
    QIcon icon;
    const bool rtl = widget ? widget->isRightToLeft() : option && option->direction == Qt::RightToLeft;
    if (standardIcon == SP_ToolBarHorizontalExtensionButton)
        icon = extensionArrow(rtl ? QStringLiteral("toolbar-ext-h-rtl") : QStringLiteral("toolbar-ext-h"),
                              {8, 16, 32});
    else if (standardIcon == SP_ToolBarVerticalExtensionButton)
        icon = extensionArrow(QStringLiteral("toolbar-ext-v"), {5, 10, 20});
    // Where the toolkit's pictures are not found by these names, it draws its own.
    return icon.isNull() ? QProxyStyle::standardIcon(standardIcon, option, widget) : icon;
}
