// SPDX-License-Identifier: GPL-3.0-or-later
#include "SlotState.h"

SlotState slotStateOf(const QString& file, const QueueView& view)
{
    qsizetype position = -1;
    for (qsizetype i = 0; i < view.queue.size(); ++i) {
        if (view.queue[i].compare(file, Qt::CaseInsensitive) == 0) {
            position = i;
            break;
        }
    }
    const bool detached = view.headDetached && view.playing;
    if (detached && file.compare(view.playingPath, Qt::CaseInsensitive) == 0)
        position = 0;
    else if (detached && position >= 0)
        ++position;
    if (position == -1)
        return SlotState::Filled;
    if (position == 0 && view.playing)
        return SlotState::Playing;
    if (position == 1 && view.playing)
        return SlotState::Next;
    return SlotState::Queued;
}

QColor captionColour(SlotState state)
{
    switch (state) {
    case SlotState::Playing:
        return {0, 128, 0};
    case SlotState::Next:
        return {255, 255, 0};
    case SlotState::Queued:
        return {255, 0, 0};
    case SlotState::Empty:
    case SlotState::Filled:
        break;
    }
    return {0, 0, 0};
}
