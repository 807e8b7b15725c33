// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceRequests.h"

#include <utility>

MCIERROR DeviceRequests::seekTarget(quint32 flags, quint32& where)
{
    where = flags & (MCI_SEEK_TO_START | MCI_SEEK_TO_END | MCI_TO);
    if (where != MCI_SEEK_TO_START && where != MCI_SEEK_TO_END && where != MCI_TO)
        return where ? MCIERR_FLAGS_NOT_COMPATIBLE : MCIERR_MISSING_PARAMETER;
    return 0;
}

MCIERROR DeviceRequests::answerCapabilities(const Capabilities& caps, quint32 flags,
                                            MCI_GETDEVCAPS_PARMS* parms)
{
    if (const MCIERROR e = checkItemQuery(flags, MCI_GETDEVCAPS_ITEM, parms))
        return e;
    const std::pair<quint32, quint32> answers[] = {
        {MCI_GETDEVCAPS_CAN_EJECT, caps.canEject},     {MCI_GETDEVCAPS_CAN_PLAY, caps.canPlay},
        {MCI_GETDEVCAPS_CAN_RECORD, caps.canRecord},   {MCI_GETDEVCAPS_CAN_SAVE, caps.canSave},
        {MCI_GETDEVCAPS_USES_FILES, caps.usesFiles},   {MCI_GETDEVCAPS_HAS_AUDIO, caps.hasAudio},
        {MCI_GETDEVCAPS_HAS_VIDEO, caps.hasVideo},     {MCI_GETDEVCAPS_COMPOUND_DEVICE, caps.compoundDevice},
        {MCI_GETDEVCAPS_DEVICE_TYPE, caps.deviceType},
    };
    for (const auto& [item, value] : answers) {
        if (item == parms->dwItem) {
            parms->dwReturn = value;
            return 0;
        }
    }
    return MCIERR_UNSUPPORTED_FUNCTION;
}
