// SPDX-License-Identifier: GPL-3.0-or-later
// Looking for songs whose stored path is gone, below a song file's folder of 10000 files:
// in one folder, and in a show tree of 10 x 10 folders of 100 files. Prints the median of
// 10 runs of the index's build, of one look-up, of reading a song file of 360 moved songs,
// and of what a press asks the store for a found song.
//   bench_song_search
#include "fakes/FakeDialogs.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/SongLocator.h"
#include "songs/SongStruc.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void touch(const QString& path)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.close();
}

QString number(int i, int width)
{
    return QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
}

/// 10 x 10 folders of 100 files: "Act 3/Scene 7/Cue 042.wav".
QString treeFile(int i)
{
    return QStringLiteral("Act %1/Scene %2/Cue %3.wav")
        .arg(i / 1000)
        .arg(i / 100 % 10)
        .arg(number(i % 100, 3));
}

struct Figures {
    double buildMs;
    double lookupUs;
    int files;
    bool truncated;
};

/// Builds the index `runs` times anew; looks up `stored` one by one in the last one.
Figures measure(const QString& folder, const QStringList& stored)
{
    std::vector<double> builds;
    std::vector<double> lookups;
    Figures figures{};
    for (int run = 0; run < 10; ++run) {
        SongLocator locator(folder);
        QElapsedTimer timer;
        timer.start();
        (void)locator.locate(QStringLiteral("C:\\GONE\\NOWHERE.WAV")); // the first miss reads the folder
        builds.push_back(double(timer.nsecsElapsed()) / 1e6);
        for (const QString& path : stored) {
            timer.restart();
            if (locator.locate(path).path.isEmpty())
                qWarning("not found: %s", qPrintable(path));
            lookups.push_back(double(timer.nsecsElapsed()) / 1e3);
        }
        figures.files = locator.fileCount();
        figures.truncated = locator.truncated();
    }
    figures.buildMs = median(builds);
    figures.lookupUs = median(lookups);
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestEnvironment env;

    const QString flat = env.root() + QLatin1String("/flat");
    QDir().mkpath(flat);
    for (int i = 0; i < 10000; ++i)
        touch(flat + QStringLiteral("/Song %1.wav").arg(number(i, 5)));
    const QString tree = env.dataDir() + QLatin1String("/Show");
    for (int i = 0; i < 10000; ++i) {
        const QString path = tree + QLatin1Char('/') + treeFile(i);
        if (i % 100 == 0)
            QDir().mkpath(QFileInfo(path).absolutePath());
        touch(path);
    }

    // Songs of the first half in name order: the bound keeps those.
    QStringList flatSongs;
    QStringList treeSongs;
    for (int i = 0; i < 360; ++i) {
        flatSongs << QStringLiteral("C:\\SOUNDS\\SONG %1.WAV").arg(number(i * 13, 5));
        treeSongs << QStringLiteral("D:\\SHOWS\\OLD\\") +
                         QString(treeFile(i * 13)).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    const Figures flatFigures = measure(flat, flatSongs);
    const Figures treeFigures = measure(tree, treeSongs);

    // A song file of 360 songs, every one moved, read as at start; then what a press asks.
    IniRegistry registry(env.configDir());
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("InfoPath"), tree + QLatin1String("/songs.inf"));
    registry.CloseKey();
    QByteArray image;
    for (int i = 0; i < 360; ++i) {
        TSongRecord rec;
        InitSongRecord(rec);
        rec.FileName.set(treeSongs[i]);
        rec.Sheet = i / SlotCount;
        rec.Slot = i % SlotCount;
        image.append(reinterpret_cast<const char*>(&rec), sizeof rec);
    }
    FakeDialogs dialogs;
    std::vector<double> loads;
    std::vector<double> asks;
    for (int run = 0; run < 10; ++run) {
        QFile f(tree + QLatin1String("/songs.inf"));
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
            qFatal("cannot write the song file");
        f.close();
        QElapsedTimer timer;
        timer.start();
        auto store = std::make_unique<TSongInfo>(registry, dialogs);
        loads.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (store->foundCount(run) != SlotCount)
            qWarning("sheet %d: %d of 36 found", run, store->foundCount(run));
        for (const QString& song : treeSongs) {
            timer.restart();
            const QString path = store->playPath(song);
            asks.push_back(double(timer.nsecsElapsed()) / 1e3);
            if (path == song)
                qWarning("not found: %s", qPrintable(song));
        }
    }

    QTextStream out(stdout);
    const auto line = [&out](const char* name, const Figures& f) {
        out << name << "_index_build_median_ms " << QString::number(f.buildMs, 'f', 2) << " (" << f.files
            << " files indexed" << (f.truncated ? ", stopped at the bound" : "") << ")\n";
        out << name << "_lookup_median_us " << QString::number(f.lookupUs, 'f', 2) << '\n';
    };
    line("one_folder_10000_files", flatFigures);
    line("tree_10000_files", treeFigures);
    out << "song_file_360_moved_songs_load_median_ms " << QString::number(median(loads), 'f', 2) << '\n';
    out << "press_asks_found_path_median_us " << QString::number(median(asks), 'f', 3) << '\n';
    return 0;
}
