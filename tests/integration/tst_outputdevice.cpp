// SPDX-License-Identifier: GPL-3.0-or-later
// The choice of output on the test audio server, with a second output the test adds and takes away.
#include "MonitorRecorder.h"
#include "SecondOutput.h"
#include "SinkRecorder.h"
#include "audio/PulseAudioEngine.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

class Tone : public PcmSource {
public:
    std::size_t read(std::int16_t* out, std::size_t frames) override
    {
        for (std::size_t i = 0; i < frames; ++i, ++m_n)
            out[2 * i] = out[2 * i + 1] =
                static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * m_n / 44100.0));
        return frames;
    }

private:
    std::size_t m_n = 0;
};

constexpr double Heard = -30.0;
constexpr double Silent = -60.0;

} // namespace

class TestOutputDevice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void songsPlayOnTheChosenOutputAndOnTheDefaultOneWhileItIsGone()
    {
        SecondOutput second;
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        QStringList told;
        engine.setOutputMissingHandler([&](const QString& output, bool missing) {
            told << (missing ? output : QStringLiteral("back"));
        });
        auto listed = [&] {
            const QList<OutputDevices::Device> outputs = engine.outputDevices();
            return std::any_of(outputs.cbegin(), outputs.cend(), [](const OutputDevices::Device& d) {
                return d.name == SecondSink && d.description == SecondDescription;
            });
        };
        QTRY_VERIFY(listed());
        MonitorRecorder onDefault(QStringLiteral("nullsink"));
        MonitorRecorder onSecond(SecondSink);

        // Chosen: heard there and not on the default output.
        engine.setOutputDevice(SecondSink);
        auto song = engine.start(std::make_shared<Tone>());
        QTRY_VERIFY_WITH_TIMEOUT(onSecond.toneDb(300) > Heard, 3000);
        const double default1 = onDefault.toneDb(500);
        QVERIFY2(default1 < Silent, qPrintable(QString::number(default1)));

        // Back to the default output: the playing song moves.
        engine.setOutputDevice(QString());
        QTRY_VERIFY_WITH_TIMEOUT(onDefault.toneDb(300) > Heard, 3000);
        QVERIFY(onSecond.toneDb(500) < Silent);

        // Chosen again, then unplugged under the playing song: the show goes on on the default
        // output, the operator is told once, and the next song plays there too.
        engine.setOutputDevice(SecondSink);
        QTRY_VERIFY_WITH_TIMEOUT(onSecond.toneDb(300) > Heard, 3000);
        QSignalSpy ended(song.get(), &OutputStream::finished);
        second.unplug();
        QTRY_COMPARE(told, QStringList{SecondDescription});
        QVERIFY(onDefault.toneDb(500) > Heard);
        QCOMPARE(ended.count(), 0);
        song.reset();
        song = engine.start(std::make_shared<Tone>());
        QTRY_VERIFY_WITH_TIMEOUT(onDefault.toneDb(300) > Heard, 3000);
        song.reset();
        QCOMPARE(told.size(), 1);

        // Back again: the next song plays on it.
        second.plugIn();
        MonitorRecorder onSecondAgain(SecondSink);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                auto probe = engine.start(std::make_shared<Tone>());
                return onSecondAgain.toneDb(500) > Heard;
            }(),
            5000);
        QVERIFY(onDefault.toneDb(500) < Silent);
        QCOMPARE(told, (QStringList{SecondDescription, QStringLiteral("back")}));

        // Unplugged while nothing plays: the very next song is heard on the default output.
        second.unplug();
        QTRY_COMPARE(told.size(), 3);
        song = engine.start(std::make_shared<Tone>());
        QVERIFY(onDefault.toneDb(300) > Heard);
    }

    void aMissingChoiceAtStartIsToldAndTheDefaultPlays()
    {
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY(engine.waitConnected(3000));
        QStringList told;
        engine.setOutputMissingHandler([&](const QString& output, bool missing) {
            told << (missing ? output : QStringLiteral("back"));
        });
        engine.setOutputDevice(QStringLiteral("no_such_output"));
        MonitorRecorder onDefault(QStringLiteral("nullsink"));
        auto song = engine.start(std::make_shared<Tone>());
        QTRY_VERIFY_WITH_TIMEOUT(onDefault.toneDb(300) > Heard, 3000);
        QTRY_COMPARE(told, QStringList{QStringLiteral("no_such_output")});
        song = engine.start(std::make_shared<Tone>());
        QTRY_VERIFY_WITH_TIMEOUT(onDefault.toneDb(300) > Heard, 3000);
        QCOMPARE(told.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOutputDevice)
#include "tst_outputdevice.moc"
