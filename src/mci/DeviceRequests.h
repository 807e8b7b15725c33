// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MciInterface.h"

/// What the "cdaudio" and "waveaudio" devices answer alike: the checks of a request's
/// parameter block and flags, and the capability queries.
namespace DeviceRequests {

/// The request's parameter block as the command's type (nullptr stays nullptr).
template <typename T> T* block(void* parms)
{
    return static_cast<T*>(parms);
}

/// A query of one item (status, capabilities) needs its block and the flag that says the
/// item is filled in; 0 when both are there.
template <typename Parms> MCIERROR checkItemQuery(quint32 flags, quint32 itemFlag, const Parms* parms)
{
    if (!parms)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (!(flags & itemFlag))
        return MCIERR_MISSING_PARAMETER;
    return 0;
}

/// A seek goes to the start, to the end or to a position: exactly one of the three flags.
/// Sets `where` to that flag; 0 when exactly one is given.
MCIERROR seekTarget(quint32 flags, quint32& where);

/// A device's answers to the capability queries.
struct Capabilities {
    bool canEject = false;
    bool canPlay = false;
    bool canRecord = false;
    bool canSave = false;
    bool usesFiles = false;
    bool hasAudio = false;
    bool hasVideo = false;
    bool compoundDevice = false;
    quint32 deviceType = 0;
};

/// Answers MCI_GETDEVCAPS from `caps`.
MCIERROR answerCapabilities(const Capabilities& caps, quint32 flags, MCI_GETDEVCAPS_PARMS* parms);

} // namespace DeviceRequests
