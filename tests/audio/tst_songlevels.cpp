// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/LoudnessMeter.h"
#include "audio/SongLevels.h"
#include "fakes/MediaFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

using namespace MediaFiles;

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();

double dbOf(double amplitude)
{
    return 20.0 * std::log10(amplitude);
}

/// A sine from phase 0: a tone that starts at its peak (a step) truly peaks above its amplitude.
std::vector<std::int16_t> sine(double hz, double seconds, double amplitude)
{
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    std::vector<std::int16_t> out(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(
            std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 44100.0)));
    return out;
}
} // namespace

class TestSongLevels : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    // A 1 kHz sine of amplitude A in one channel reads 20*log10(A) - 3.01 LUFS (the standard's
    // calibration; the K-filter's gain at 1 kHz is part of its -0.691 offset). In both channels
    // the two add up: 20*log10(A) LUFS. Its true peak is its amplitude.
    void shouldMeasureTonesAtTheirKnownLoudness_data()
    {
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<bool>("bothChannels");
        QTest::addColumn<double>("silentSeconds");
        QTest::addColumn<double>("lufs");
        QTest::newRow("full scale, one channel") << 1.0 << false << 0.0 << -3.01;
        QTest::newRow("half, both") << 0.5 << true << 0.0 << dbOf(0.5);
        QTest::newRow("-20 dB, both") << 0.1 << true << 0.0 << -20.0;
        QTest::newRow("-40 dB, both") << 0.01 << true << 0.0 << -40.0;
        // Silence below the absolute gate does not count: a pause does not make a song quieter.
        QTest::newRow("tone then as long silent") << 0.1 << true << 5.0 << -20.0;
    }

    void shouldMeasureTonesAtTheirKnownLoudness()
    {
        QFETCH(double, amplitude);
        QFETCH(bool, bothChannels);
        QFETCH(double, silentSeconds);
        QFETCH(double, lufs);
        std::vector<std::int16_t> pcm = sine(1000.0, 5.0, amplitude);
        if (!bothChannels)
            for (std::size_t i = 1; i < pcm.size(); i += 2)
                pcm[i] = 0;
        pcm.resize(pcm.size() + static_cast<std::size_t>(silentSeconds * 44100) * 2, 0);
        LoudnessMeter meter;
        for (std::size_t at = 0; at < pcm.size() / 2; at += 1000) // in blocks, as a song is decoded
            meter.add(pcm.data() + at * 2, std::min<std::size_t>(1000, pcm.size() / 2 - at));
        const Loudness l = meter.result();
        QVERIFY2(std::abs(l.integratedLufs - lufs) < 0.5, qPrintable(QString::number(l.integratedLufs)));
        QVERIFY2(std::abs(l.truePeakDb - dbOf(amplitude)) < 0.5, qPrintable(QString::number(l.truePeakDb)));
    }

    void shouldReadSilenceAsSilent()
    {
        const std::vector<std::int16_t> pcm(44100 * 2 * 3, 0);
        LoudnessMeter meter;
        meter.add(pcm.data(), pcm.size() / 2);
        QCOMPARE(meter.result().integratedLufs, -Inf);
        QCOMPARE(SongLevels::gainDb(meter.result()), 0.0);
    }

    void shouldBringSongsToTheTargetBelowThePeakCeiling_data()
    {
        QTest::addColumn<double>("lufs");
        QTest::addColumn<double>("peak");
        QTest::addColumn<double>("gain");
        QTest::newRow("quiet, room above its peak") << -23.0 << -10.0 << 7.0;
        QTest::newRow("loud") << -8.0 << -0.2 << -8.0;
        QTest::newRow("at the target") << -16.0 << -1.0 << 0.0;
        QTest::newRow("raised only up to its peak") << -20.0 << -2.0 << 1.0;
        QTest::newRow("peak above the ceiling, quiet") << -18.0 << 0.5 << -1.5;
        QTest::newRow("near silent, raised at most 24 dB") << -60.0 << -50.0 << 24.0;
        QTest::newRow("silent") << -Inf << -Inf << 0.0;
    }

    void shouldBringSongsToTheTargetBelowThePeakCeiling()
    {
        QFETCH(double, lufs);
        QFETCH(double, peak);
        QFETCH(double, gain);
        QCOMPARE(SongLevels::gainDb(Loudness{lufs, peak}), gain);
    }

    void shouldMeasureOnlyWhileOnAndKeepTheFiguresBetweenRuns()
    {
        const QString cache = file("cache/levels.json");
        const QString song = file("quiet.wav");
        const QString other = file("other.wav");
        QVERIFY(writeWav(song, tone(1000.0, 3.0, 0.1)));
        QVERIFY(writeWav(other, tone(1000.0, 1.0, 0.5)));
        {
            SongLevels levels(cache);
            QCOMPARE(levels.gainFor(song), 1.0); // off: its own level, and nothing measured
            QVERIFY(levels.waitIdle(IdleWaitMs));
            QCOMPARE(levels.measuredCount(), std::size_t{0});

            levels.setEnabled(true);
            QCOMPARE(levels.gainFor(song), 1.0); // not measured yet: its own level meanwhile
            levels.measureFirst({other});
            QVERIFY(levels.waitIdle(IdleWaitMs));
            QCOMPARE(levels.measuredCount(), std::size_t{2});
            QVERIFY(std::abs(levels.find(song)->integratedLufs + 20.0) < 0.5);
            QVERIFY(std::abs(levels.gainFor(song) - std::pow(10.0, 4.0 / 20.0)) < 0.05);
        }
        QVERIFY(QJsonDocument::fromJson([&] {
                    QFile f(cache);
                    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                }())
                    .isObject());

        // The next run knows both at once, and measures only what changed.
        SongLevels levels(cache);
        QVERIFY(levels.find(song) && levels.find(other));
        QFile touched(song);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                    QFileDevice::FileModificationTime));
        touched.close();
        QVERIFY(!levels.find(song));
        QVERIFY(writeWav(other, tone(1000.0, 1.5, 0.5))); // same time to the second, other size
        QVERIFY(!levels.find(other));
        levels.setEnabled(true);
        levels.measureFirst({song, other});
        QVERIFY(levels.waitIdle(IdleWaitMs));
        QCOMPARE(levels.measuredCount(), std::size_t{2});
        QVERIFY(levels.find(song) && levels.find(other));
    }

    // The measuring thread runs at idle priority and may be held off a core while it holds its lock.
    void shouldNeverMakeAPressWaitForTheMeasuringThread()
    {
        const QString song = file("measured.wav");
        const QString other = file("unmeasured.wav");
        QVERIFY(writeWav(song, tone(1000.0, 1.0, 0.1)));
        QVERIFY(writeWav(other, tone(1000.0, 1.0, 0.5)));
        SongLevels levels(QString{});
        levels.setEnabled(true);
        levels.measureFirst({song});
        QVERIFY(levels.waitIdle(IdleWaitMs));
        const double even = levels.gainFor(song);
        QVERIFY(even > 1.0);

        std::atomic<bool> held{false};
        std::atomic<bool> release{false};
        std::atomic<bool> gaveUp{false};
        std::thread holder([&] {
            std::lock_guard lock(levels.m_mutex);
            held = true;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!release) {
                if (std::chrono::steady_clock::now() > deadline) {
                    gaveUp = true;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        while (!held)
            std::this_thread::yield();
        const double seen = levels.gainFor(song);
        const double unknown = levels.gainFor(other);
        levels.measureFirst({other, song});
        release = true;
        holder.join();
        QVERIFY2(!gaveUp, "a press waited for the measuring thread's lock");
        QCOMPARE(seen, even);
        QCOMPARE(unknown, 1.0);
        QVERIFY(levels.waitIdle(IdleWaitMs)); // what was asked meanwhile is measured after all
        QVERIFY(levels.find(other));
    }

    void shouldIgnoreADamagedCacheAndReplaceIt_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("\x01\x02 levels \xff", 11);
        QTest::newRow("cut off") << QByteArray("{\"version\":1,\"songs\":[{\"path\":\"/a.wav\",\"size\":\"1");
        QTest::newRow("other version") << QByteArray("{\"version\":99,\"songs\":[]}");
        QTest::newRow("fields of the wrong kind")
            << QByteArray("{\"version\":1,\"songs\":[{\"path\":7,\"size\":1,\"modified\":[]},\"x\"]}");
    }

    void shouldIgnoreADamagedCacheAndReplaceIt()
    {
        QFETCH(QByteArray, content);
        const QString cache = file("damaged.json");
        const QString song = file("song.wav");
        QVERIFY(writeWav(song, tone(1000.0, 1.0, 0.5)));
        QVERIFY(writeBytes(cache, content));
        {
            SongLevels levels(cache);
            QVERIFY(!levels.find(song));
            levels.setEnabled(true);
            levels.measureFirst({song});
            QVERIFY(levels.waitIdle(IdleWaitMs));
        }
        SongLevels again(cache);
        QVERIFY(again.find(song));
    }

    void shouldSayAnUnusableCacheAndKeepTheRunsFigures()
    {
        // A folder in the cache's place can be neither read nor replaced, by root either.
        const QString cache = file("folder.json");
        const QString song = file("said.wav");
        QVERIFY(QDir().mkpath(cache));
        QVERIFY(writeWav(song, tone(1000.0, 1.0, 0.5)));
        SongLevels levels(cache);
        QVERIFY(levels.cacheProblem().contains(cache));
        levels.setEnabled(true);
        levels.measureFirst({song});
        QVERIFY(levels.waitIdle(IdleWaitMs));
        QVERIFY(levels.find(song));
        QVERIFY(levels.cacheProblem().contains(QLatin1String("cannot be read")));
    }

    void shouldSkipFilesThatCannotBeMeasured()
    {
        const QString broken = file("words.mp3");
        QVERIFY(writeBytes(broken, QByteArray("These are only words.\n").repeated(50)));
        SongLevels levels(QString{});
        levels.setEnabled(true);
        levels.measureFirst({broken, file("absent.wav")});
        QVERIFY(levels.waitIdle(IdleWaitMs));
        QCOMPARE(levels.gainFor(broken), 1.0);
        QVERIFY(levels.waitIdle(IdleWaitMs)); // tried once, not again while the file is unchanged
        QCOMPARE(levels.measuredCount(), std::size_t{0});
    }
};

QTEST_GUILESS_MAIN(TestSongLevels)
#include "tst_songlevels.moc"
