// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkSide.h"

#include "platform/ProgramModule.h"

std::unique_ptr<NetworkSide> NetworkSide::load(ShowCore& show, Registry& registry, QString* why)
{
    const auto make = reinterpret_cast<Make>(ProgramModule::entry(Library, EntryPoint, why));
    if (!make)
        return nullptr;
    return std::unique_ptr<NetworkSide>(make(show, registry));
}
