// SPDX-License-Identifier: GPL-3.0-or-later
// How long the show view takes to draw a frame at 1920x1080 while a show runs: one song playing,
// one next, three queued, long titles among the short ones, key captions on. Three kinds of
// frame: the whole grid drawn again (a window uncovered), a sheet change (the ten sheets in
// turn), every title new (each laid out anew, as after the songs were edited) and the clock's
// tick (the time left on the strip and the playing tile). Prints the median and the worst of
// each, in ms, and fails when the median of a whole grid or a sheet change is 4 ms or more.
//   bench_show_view [frames] [--shot grid.png]
#include "app/ShowGrid.h"
#include "fakes/FakeBoard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr double TargetMs = 4.0;

struct Result {
    double median = 0;
    double worst = 0;
};

Result measure(int frames, const std::function<void(int)>& frame)
{
    std::vector<double> ms;
    for (int i = 0; i < frames + 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        frame(i);
        if (i >= 5) // the first frames load the fonts
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

void fill(FakeBoard& board)
{
    const QStringList titles = {
        QStringLiteral("Walk-in Music"),
        QStringLiteral("The Quite Extraordinarily Long Title Of The Overture To The Second Act Finale"),
        QStringLiteral("Thunder"),
        QStringLiteral("Doorbell (twice, then a long pause before the third ring)"),
        QStringLiteral("Supercalifragilisticexpialidocious"),
        QStringLiteral("Act 2 Scene 4 - Storm Underscore"),
    };
    for (int sheet = 0; sheet < Board::Sheets; ++sheet)
        for (int slot = 0; slot < Board::Slots; ++slot) {
            const auto i = static_cast<std::size_t>(sheet * Board::Slots + slot);
            board.titles[i] =
                slot % 9 == 8 ? QStringLiteral("<empty>")
                              : titles[(slot + sheet) % titles.size()] + QStringLiteral(" %1").arg(slot + 1);
            board.states[i] = slot % 9 == 8 ? SlotState::Empty : SlotState::Filled;
        }
    const auto at = [](int slot) { return static_cast<std::size_t>(slot); };
    board.states[at(4)] = SlotState::Playing;
    board.states[at(10)] = SlotState::Next;
    board.states[at(11)] = SlotState::Queued;
    board.states[at(20)] = SlotState::Queued;
    board.states[at(33)] = SlotState::Queued;
    board.now = {0, 4, board.titles[at(4)], QStringLiteral("/songs/storm.wav")};
    board.at = 12.0;
    board.songLength = 185.0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    int frames = 200;
    if (args.size() > 1 && args[1].toInt() > 0)
        frames = args[1].toInt();
    const qsizetype shotAt = args.indexOf(QStringLiteral("--shot"));

    FakeBoard board;
    fill(board);
    ShowGrid grid(board, [](int, int slot) {
        return slot < 12 ? QStringLiteral("F%1").arg(slot + 1) : QStringLiteral("Ctrl+%1").arg(slot - 11);
    });
    grid.resize(1920, 1080);
    grid.show();
    grid.setFocus();
    QApplication::processEvents();

    const Result whole = measure(frames, [&](int) { grid.repaint(); });
    const Result sheet = measure(frames, [&](int i) {
        board.shown = i % Board::Sheets;
        Q_EMIT board.sheetShown(board.shown);
        grid.repaint();
    });
    // Every title new, as after the song file was edited: each one laid out, none remembered.
    const Result fresh = measure(frames, [&](int i) {
        for (int k = 0; k < Board::Slots; ++k) {
            const auto at = static_cast<std::size_t>(k);
            board.titles[at] =
                board.titles[at].section(QLatin1Char('#'), 0, 0) + QStringLiteral("#%1").arg(i);
        }
        Q_EMIT board.sheetShown(0);
        grid.repaint();
    });
    board.shown = 0;
    Q_EMIT board.sheetShown(0);
    const Result tick = measure(frames, [&](int i) {
        board.at = 12.0 + i * 0.25;
        Q_EMIT board.timeChanged(board.at, board.songLength, board.songLength - board.at);
        QApplication::processEvents(); // the update of what changed, as the clock gives it
    });

    std::printf("show view at 1920x1080, %d frames each   median   worst (ms)\n", frames);
    std::printf("  whole grid                            %6.2f  %6.2f\n", whole.median, whole.worst);
    std::printf("  sheet change                          %6.2f  %6.2f\n", sheet.median, sheet.worst);
    std::printf("  every title new (all laid out anew)   %6.2f  %6.2f\n", fresh.median, fresh.worst);
    std::printf("  clock tick                            %6.2f  %6.2f\n", tick.median, tick.worst);
    if (shotAt >= 0 && shotAt + 1 < args.size())
        grid.grab().save(args[shotAt + 1]);
    const bool met = whole.median < TargetMs && sheet.median < TargetMs;
    std::printf("%s: a whole frame's median under %.0f ms\n", met ? "met" : "MISSED", TargetMs);
    return met ? 0 : 1;
}
