// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/frmKeys.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

class MidiControl;
class SlotKeyControl;

/// The lines of the Keys list: every transport command, then each slot that has a key or a
/// MIDI note, by sheet and button, then the menus' own keys marked "(menu)".
class KeyListRows {
public:
    /// `midi` may be null (no MIDI column text then); `sheetName` and `title` name sheets and songs;
    /// `menuKeys` are the menu items' keys in menu order.
    [[nodiscard]] static QList<KeyListRow> build(const SlotKeyControl& keys, const MidiControl* midi,
                                                 const std::function<QString(int)>& sheetName,
                                                 const std::function<QString(int, int)>& title,
                                                 const QList<std::pair<QKeySequence, QString>>& menuKeys);
};
