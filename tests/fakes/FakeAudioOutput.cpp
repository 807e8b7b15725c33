// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeAudioOutput.h"

#include <QElapsedTimer>

#include <thread>

std::vector<std::int16_t> FakeOutputStream::pull(std::size_t frames, int patienceMs)
{
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> chunk(4096 * Pcm::Channels);
    QElapsedTimer waited;
    waited.start();
    while (out.size() / Pcm::Channels < frames) {
        const std::size_t want = std::min<std::size_t>(4096, frames - out.size() / Pcm::Channels);
        const std::size_t got = source->read(chunk.data(), want);
        if (got == 0) {
            if (source->exhausted() || waited.elapsed() > patienceMs)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        waited.restart();
        out.insert(out.end(), chunk.begin(),
                   chunk.begin() + static_cast<std::ptrdiff_t>(got * Pcm::Channels));
        played += static_cast<std::int64_t>(got);
    }
    return out;
}
