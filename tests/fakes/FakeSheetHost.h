// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "songs/SheetHost.h"

#include <QList>
#include <QMap>
#include <QPoint>
#include <QStringList>

/// Ten captions "Music Sheet 1".."Music Sheet 10" to start with; redraws are recorded.
class FakeSheetHost : public SheetHost {
public:
    FakeSheetHost()
    {
        for (int i = 0; i < 10; ++i) {
            captions << QStringLiteral("Music Sheet %1").arg(i + 1);
            sheetOrder << i;
        }
    }
    QString tabCaption(int index) const override { return captions.at(index); }
    void setTabCaption(int index, const QString& caption) override { captions[index] = caption; }
    int shownTab() const override { return shown; }
    void RefreshButtons(int Sheet) override { refreshed << Sheet; }
    void slotCleared(int Sheet, int Slot) override
    {
        cleared << QPoint(Sheet, Slot);
        keys.remove({Sheet, Slot});
    }
    std::any slotExtras(int Sheet, int Slot) const override { return keys.value({Sheet, Slot}); }
    void restoreSlotExtras(int Sheet, int Slot, const std::any& Extras) override
    {
        if (const auto* key = std::any_cast<QString>(&Extras); key && !key->isEmpty())
            keys.insert({Sheet, Slot}, *key);
    }
    void sheetsExchanged(int SheetA, int SheetB) override { sheetOrder.swapItemsAt(SheetA, SheetB); }

    QStringList captions;
    int shown = 0;
    QList<int> refreshed;
    QList<QPoint> cleared;                   ///< (sheet, slot) of each slot the editor emptied
    QList<int> sheetOrder;                   ///< the sheet each column started as, as the exchanges report it
    QMap<std::pair<int, int>, QString> keys; ///< the key of each (sheet, slot) that has one
};
