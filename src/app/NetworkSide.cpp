// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetworkSide.h"

#include "platform/ProgramModule.h"

#include <future>
#include <mutex>

namespace {
struct Loaded {
    NetworkSide::Make make = nullptr;
    QString why;
};

std::mutex loadMutex;
std::shared_future<Loaded> loading;

/// The library's load, started once, on a thread of its own.
std::shared_future<Loaded> started()
{
    const std::lock_guard lock(loadMutex);
    if (!loading.valid())
        loading = std::async(std::launch::async, [] {
                      Loaded loaded;
                      loaded.make = reinterpret_cast<NetworkSide::Make>(
                          ProgramModule::entry(NetworkSide::Library, NetworkSide::EntryPoint, &loaded.why));
                      return loaded;
                  }).share();
    return loading;
}
} // namespace

void NetworkSide::loadSoon()
{
    (void)started();
}

std::unique_ptr<NetworkSide> NetworkSide::load(ShowCore& show, Registry& registry, QString* why)
{
    const Loaded& loaded = started().get();
    if (!loaded.make) {
        if (why)
            *why = loaded.why;
        return nullptr;
    }
    return std::unique_ptr<NetworkSide>(loaded.make(show, registry));
}
