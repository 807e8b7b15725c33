// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the sheet editor with all 360 slots filled (constructed and shown), listing
// a folder of 10000 files and one of 5000 folders. Prints the median of 10 runs of each.
//   bench_editor_open [--shot editor.png]
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeDriveList.h"
#include "fakes/FakeSheetHost.h"
#include "fakes/TestEnvironment.h"
#include "platform/IniRegistry.h"
#include "songs/DirectoryListBox.h"
#include "songs/FileListBox.h"
#include "songs/SongStruc.h"
#include "songs/schedual.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTableWidget>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

/// Counts the paints a widget receives, to be sure the timing includes the first one.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void makeFiles(const QString& dir, int count)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        QFile f(dir + QStringLiteral("/Song %1.wav").arg(i, 5, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.close();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const qsizetype shotAt = args.indexOf(QStringLiteral("--shot"));

    TestEnvironment env;
    IniRegistry registry(env.configDir());
    registry.OpenKey(QStringLiteral("\\Software\\Brasswold\\System"), true);
    registry.WriteString(QStringLiteral("InfoPath"), env.dataDir() + QLatin1String("/songs.inf"));
    registry.CloseKey();
    FakeDialogs dialogs;
    FakeSheetHost host;
    FakeCdTrackCatalog cd;
    FakeDriveList drives;
    const QString drive = env.root() + QLatin1String("/drive");
    const QString sounds = drive + QLatin1String("/sounds");
    makeFiles(sounds, 200);
    QDir().mkpath(drive + QLatin1String("/big"));
    for (const char* folder : {"Albums", "Effects", "Jingles", "Live"})
        QDir().mkpath(sounds + QLatin1Char('/') + QLatin1String(folder));
    drives.list = {{QStringLiteral("/"), drive}};
    drives.start = sounds;

    TSongInfo store(registry, dialogs);
    for (int sheet = 0; sheet < SheetCount; ++sheet) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            TSongRecord rec;
            InitSongRecord(rec);
            rec.Title.set(QStringLiteral("Song %1-%2").arg(sheet + 1).arg(slot + 1, 2, 10, QLatin1Char('0')));
            rec.FileName.set(sounds + QStringLiteral("/Song %1.wav").arg(sheet * SlotCount + slot));
            rec.Sheet = sheet;
            rec.Slot = slot;
            store.SetSong(sheet, slot, rec);
        }
    }

    std::vector<double> openTimes;
    int unpainted = 0;
    for (int run = 0; run < 11; ++run) {
        QElapsedTimer timer;
        timer.start();
        {
            TfrmSchedual editor(nullptr, store, host, dialogs, cd, drives);
            PaintCounter counter;
            editor.StringGrid->viewport()->installEventFilter(&counter);
            editor.show();
            QApplication::processEvents();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            if (counter.paints == 0)
                ++unpainted;
            if (run > 0) // the first run loads fonts and styles
                openTimes.push_back(ms);
            if (run == 0 && shotAt >= 0 && shotAt + 1 < args.size()) {
                editor.lbFiles->selectNames(
                    {QStringLiteral("Song 00003.wav"), QStringLiteral("Song 00004.wav")});
                editor.setCurrentCell(2, 5);
                editor.grab().save(args[shotAt + 1]);
            }
        }
    }

    makeFiles(drive + QLatin1String("/big"), 10000);
    FileListBox list(cd);
    std::vector<double> listTimes;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer timer;
        timer.start();
        list.setDirectory(drive + QLatin1String("/big"));
        list.show();
        QApplication::processEvents();
        listTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        list.setDirectory(QString());
    }

    const QString folders = drive + QLatin1String("/folders");
    for (int i = 0; i < 5000; ++i)
        QDir().mkpath(folders + QStringLiteral("/Show %1").arg(i, 4, 10, QLatin1Char('0')));
    DirectoryListBox dirs;
    dirs.setDrive({QStringLiteral("/"), drive});
    dirs.show();
    std::vector<double> dirTimes;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer timer;
        timer.start();
        dirs.setDirectory(folders);
        QApplication::processEvents();
        dirTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        dirs.setDirectory(drive);
    }

    QTextStream out(stdout);
    if (unpainted > 0)
        out << "warning: " << unpainted << " openings ended before the grid was painted\n";
    out << "editor_open_360_slots_median_ms " << QString::number(median(openTimes), 'f', 1)
        << " (target < 100)\n";
    out << "file_list_10000_files_median_ms " << QString::number(median(listTimes), 'f', 1) << '\n';
    out << "directory_list_5000_folders_median_ms " << QString::number(median(dirTimes), 'f', 1) << '\n';
    return 0;
}
