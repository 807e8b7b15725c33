// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// What the sheet editor needs of the main window: the ten tab captions, the
/// shown tab, and redrawing the sound buttons.
class SheetHost {
public:
    virtual ~SheetHost() = default;
    [[nodiscard]] virtual QString tabCaption(int index) const = 0;
    virtual void setTabCaption(int index, const QString& caption) = 0;
    [[nodiscard]] virtual int shownTab() const = 0;
    virtual void RefreshButtons(int Sheet) = 0;
};
