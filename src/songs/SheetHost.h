// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <any>

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
    /// What belongs to a slot's song outside the store (its key, its MIDI notes), taken before
    /// the editor empties the slot so that taking the emptying back can restore it.
    [[nodiscard]] virtual std::any slotExtras(int Sheet, int Slot) const
    {
        (void)Sheet, (void)Slot;
        return {};
    }
    /// Gives the slot back what slotExtras returned for it.
    virtual void restoreSlotExtras(int Sheet, int Slot, const std::any& Extras)
    {
        (void)Sheet, (void)Slot, (void)Extras;
    }
    /// The editor exchanged the songs of two whole sheets.
    virtual void sheetsExchanged(int SheetA, int SheetB) { (void)SheetA, (void)SheetB; }
};
