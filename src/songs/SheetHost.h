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
    /// The editor emptied a slot: what belongs to its song goes with it.
    virtual void slotCleared(int Sheet, int Slot) { (void)Sheet, (void)Slot; }
    /// The editor exchanged the songs of two whole sheets.
    virtual void sheetsExchanged(int SheetA, int SheetB) { (void)SheetA, (void)SheetB; }
};
