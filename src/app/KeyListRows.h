// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/frmKeys.h"

#include <QList>
#include <QString>

#include <functional>

class MidiControl;
class SlotKeyControl;

/// The lines of the Keys list: every transport command, then each slot that has a key or a
/// MIDI note, by sheet and button.
class KeyListRows {
public:
    /// `midi` may be null (no MIDI column text then); `sheetName` and `title` name sheets and songs.
    [[nodiscard]] static QList<KeyListRow> build(const SlotKeyControl& keys, const MidiControl* midi,
                                                 const std::function<QString(int)>& sheetName,
                                                 const std::function<QString(int, int)>& title);
};
