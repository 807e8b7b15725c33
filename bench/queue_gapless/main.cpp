// SPDX-License-Identifier: GPL-3.0-or-later
// The queue as one: eight songs of one square tone, 1.5 s each, queued on the real main window
// and played with Play. The null sink's monitor is recorded; the figures are the length from the
// first loud frame to the last (12.000 s when nothing comes between the songs) and the longest
// silence in between. Every frame of the tone is loud, so one silent frame is seen. Runs offscreen;
// needs the test audio server. Arguments: [runs]; --unprepared plays as a player that is never
// told the song that follows (each song then starts when the one before it was reported ended).
#include "BenchSupport.h"
#include "audio/MediaPlayerControl.h"
#include "audio/PulseAudioEngine.h"
#include "core/ShowCore.h"
#include "platform/Application.h"
#include "platform/IniRegistry.h"
#include "platform/QtDialogs.h"
#include "show/Board.h"
#include "songs/SongStruc.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

using namespace bench;

constexpr int Songs = 8;
constexpr double SongSeconds = 1.5;
constexpr int Period = 98; // frames: 675 whole periods in a song, so the joins are seamless
constexpr int Loud = 1000; // the tone is at +-20000 on every frame

/// The player as it was before songs were made ready ahead.
class UnpreparedPlayer : public MediaPlayerControl {
public:
    using MediaPlayerControl::MediaPlayerControl;
    void setNextFile(const QString&) override {}
};

struct Recording : PcmSink {
    void write(const std::int16_t* in, std::size_t frames) override
    {
        std::lock_guard lock(mutex);
        samples.insert(samples.end(), in, in + frames * Pcm::Channels);
    }
    std::size_t frames() const
    {
        std::lock_guard lock(mutex);
        return samples.size() / Pcm::Channels;
    }
    mutable std::mutex mutex;
    std::vector<std::int16_t> samples;
};

struct Figures {
    double seconds = 0.0;
    double longestSilenceMs = 0.0;
    int silences = 0;  // runs of silent frames between the first loud frame and the last
    QStringList where; // each silence: its start in seconds from the first loud frame, and its length
};

Figures measure(const std::vector<std::int16_t>& s, std::size_t from)
{
    const std::size_t frames = s.size() / Pcm::Channels;
    const auto loud = [&](std::size_t i) { return std::abs(s[i * Pcm::Channels]) >= Loud; };
    std::size_t first = from;
    while (first < frames && !loud(first))
        ++first;
    std::size_t last = frames;
    while (last > first && !loud(last - 1))
        --last;
    Figures f;
    f.seconds = static_cast<double>(last - first) / Pcm::SampleRate;
    std::size_t run = 0;
    for (std::size_t i = first; i < last; ++i) {
        if (loud(i)) {
            if (run > 0) {
                ++f.silences;
                f.where << QStringLiteral("%1 s: %2 ms")
                               .arg(static_cast<double>(i - run - first) / Pcm::SampleRate, 0, 'f', 3)
                               .arg(static_cast<double>(run) * 1000.0 / Pcm::SampleRate, 0, 'f', 2);
            }
            run = 0;
            continue;
        }
        ++run;
        f.longestSilenceMs =
            std::max(f.longestSilenceMs, static_cast<double>(run) * 1000.0 / Pcm::SampleRate);
    }
    return f;
}

void wait(int msecs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SonavexApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    const bool unprepared = args.removeAll(QStringLiteral("--unprepared")) > 0;
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 3;

    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < Songs; ++i) {
        files << dir.filePath(QStringLiteral("tone%1.wav").arg(i + 1));
        if (!writeWav(files.last(), square(SongSeconds, Period)))
            return 1;
    }
    PulseAudioEngine engine(QStringLiteral("sonavex-bench"));
    if (!engine.waitConnected(3000)) {
        std::fprintf(stderr, "no audio server: eval \"$(scripts/start-test-audio)\"\n");
        return 1;
    }
    std::unique_ptr<MediaPlayerControl> player = unprepared ? std::make_unique<UnpreparedPlayer>(engine)
                                                            : std::make_unique<MediaPlayerControl>(engine);
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    IniRegistry registry(dir.filePath(QStringLiteral("config")));
    QtDialogs dialogs;
    NoCd cd;
    auto store = std::make_unique<TSongInfo>(registry, dialogs);
    for (int slot = 0; slot < Songs; ++slot) {
        TSongRecord rec;
        InitSongRecord(rec);
        rec.Title.set(QStringLiteral("Tone %1").arg(slot + 1));
        rec.FileName.set(files.at(slot));
        rec.Slot = slot;
        store->SetSong(0, slot, rec);
    }
    ShowCore show(ShowServices{registry, *player, cd},
                  std::move(store)); // no window: the queue is the show's
    player->waitHotListWarm(20000);

    auto recording = std::make_shared<Recording>();
    const std::unique_ptr<InputStream> capture = engine.startCapture(recording);
    std::printf("queue of %d songs of %.1f s (%s), goal %.3f s with no silence\n", Songs, SongSeconds,
                unprepared ? "unprepared" : "the next made ready", Songs * SongSeconds);
    std::printf("  run   length s   longest silence ms   silences   where\n");
    double worstError = 0.0, worstSilence = 0.0;
    for (int run = 1; run <= runs; ++run) {
        wait(300);
        const std::size_t from = recording->frames();
        for (int slot = 0; slot < Songs; ++slot)
            show.queue(0, slot, PressedBy::Osc);
        show.play();
        QElapsedTimer t;
        t.start();
        // Between two songs the board is stopped for a moment: the end is an empty queue.
        while ((!show.PlayQueue.isEmpty() || player->playState() != MediaPlayer::Stopped) &&
               t.elapsed() < 30000)
            wait(20);
        wait(400);
        std::vector<std::int16_t> samples;
        {
            std::lock_guard lock(recording->mutex);
            samples = recording->samples;
        }
        const Figures f = measure(samples, from);
        std::printf("  %3d   %8.4f   %18.2f   %8d   %s\n", run, f.seconds, f.longestSilenceMs, f.silences,
                    qPrintable(f.where.join(QStringLiteral(", "))));
        worstError = std::max(worstError, std::abs(f.seconds - Songs * SongSeconds));
        worstSilence = std::max(worstSilence, f.longestSilenceMs);
    }
    std::printf("worst: %.1f ms off the goal, longest silence %.2f ms; dropouts %d\n", worstError * 1000.0,
                worstSilence, engine.underflowCount());
    return 0;
}
