// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioDecoder.h"
#include "audio/AudioOutput.h"
#include "audio/MidiDecoder.h"
#include "audio/SpanDecoder.h"
#include "fakes/MediaFiles.h"
#include "platform/Errors.h"

#include <QTemporaryDir>
#include <QTest>

using namespace MediaFiles;

namespace {

std::vector<std::int16_t> decodeAll(AudioDecoder& decoder, std::size_t chunk = 1000)
{
    std::vector<std::int16_t> out;
    std::vector<std::int16_t> buf(chunk * Pcm::Channels);
    for (;;) {
        const std::size_t got = decoder.read(buf.data(), chunk);
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got * Pcm::Channels));
        if (got < chunk)
            return out;
    }
}

QString openError(const QString& path)
{
    try {
        openAudioDecoder(path);
    } catch (const DeviceError& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestMediaDecoding : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void shouldDecodeWaveAndAuSampleExact()
    {
        const auto samples = ramp(50000);
        QVERIFY(writeWav(path("exact.wav"), samples));
        QVERIFY(writeAu(path("exact.au"), samples));
        for (const char* name : {"exact.wav", "exact.au"}) {
            auto decoder = openAudioDecoder(path(name));
            QCOMPARE(decoder->duration(), 50000.0 / 44100.0);
            QVERIFY2(decodeAll(*decoder, 777) == samples, name);
        }
    }

    void aSpanStartsAndStopsAtItsExactFrame()
    {
        const auto samples = ramp(100000);
        QVERIFY(writeWav(path("span.wav"), samples));
        QVERIFY(writeAu(path("span.au"), samples));
        // 0.5 s to 2 s, in frames 22050 to 88200.
        for (const char* name : {"span.wav", "span.au"}) {
            SpanDecoder span(openAudioDecoder(path(name)), PlaySpan{0.5, 2.0, 0.0, 0.0, 1.0});
            QCOMPARE(span.duration(), 1.5);
            const auto pcm = decodeAll(span, 1000);
            QCOMPARE(pcm.size(), std::size_t{66150} * Pcm::Channels);
            QVERIFY2(std::equal(pcm.begin(), pcm.end(), samples.begin() + 22050 * Pcm::Channels), name);
        }
    }

    void shouldConvertMonoAndOtherRatesToStereo44k()
    {
        QVERIFY(writeWav(path("mono22.wav"), tone(441.0, 1.0, 0.5, 22050, 1), 22050, 1));
        auto decoder = openAudioDecoder(path("mono22.wav"));
        QCOMPARE(decoder->duration(), 1.0);
        const auto pcm = decodeAll(*decoder);
        QVERIFY(std::abs(static_cast<long>(pcm.size() / 2) - 44100) < 64);
        // Both channels carry the mono signal at its level.
        QVERIFY(std::abs(toneLevelDb(pcm.data(), pcm.size() / 2, 2, 441.0) - (-6.02)) < 0.5);
        QVERIFY(std::abs(toneLevelDb(pcm.data() + 1, pcm.size() / 2 - 1, 2, 441.0) - (-6.02)) < 0.5);
    }

    void shouldDecodeMp3AndAviTracks()
    {
        const auto samples = tone(1000.0, 2.0);
        for (const char* name : {"tone.mp3", "tone.avi"}) {
            const QString file = path(name);
            QString why;
            if (!encode(file, QByteArray(name).endsWith("mp3") ? "mp3" : "avi", samples, &why))
                QSKIP(qPrintable(why));
            auto decoder = openAudioDecoder(file);
            QVERIFY2(std::abs(decoder->duration() - 2.0) < 0.1, name);
            const auto pcm = decodeAll(*decoder);
            QVERIFY2(std::abs(static_cast<double>(pcm.size() / 2) / 44100.0 - 2.0) < 0.1, name);
            QVERIFY2(std::abs(toneLevelDb(pcm.data(), pcm.size() / 2, 2, 1000.0) - (-6.02)) < 1.0, name);
        }
    }

    // Recordings at the sink may lose, blank or repeat one 5 ms block of the server's; the level
    // read over the shortest stretch the sink tests listen to must not move for it.
    void sinkLevelsReadThroughAGapInTheRecording_data()
    {
        QTest::addColumn<char>("gap");
        QTest::newRow("unbroken") << ' ';
        QTest::newRow("lost") << 'l';
        QTest::newRow("blanked") << 'b';
        QTest::newRow("repeated") << 'r';
    }
    void sinkLevelsReadThroughAGapInTheRecording()
    {
        QFETCH(char, gap);
        constexpr std::ptrdiff_t Block = 235 * 2; // 256 frames at 48 kHz
        auto s = tone(1234.0, 0.14);
        const auto mid = s.begin() + static_cast<std::ptrdiff_t>(s.size() / 2) + 2 * 17;
        if (gap == 'l')
            s.erase(mid, mid + Block);
        else if (gap == 'b')
            s.insert(mid, Block, 0);
        else if (gap == 'r') {
            const std::vector<std::int16_t> again(mid - Block, mid);
            s.insert(mid, again.begin(), again.end());
        }
        const double level = pieceToneLevelDb(s.data(), s.size() / 2, 2, 1234.0);
        QVERIFY2(std::abs(level - (-6.02)) < 0.5, qPrintable(QString::number(level)));
        QVERIFY(pieceToneLevelDb(s.data(), s.size() / 2, 2, 1789.0) < -40.0);
    }

    void shouldRenderMidiForItsLengthPlusTail()
    {
        QVERIFY(writeBytes(path("tune.mid"), midiTune(4, 250)));
        auto decoder = openAudioDecoder(path("tune.mid"));
        QCOMPARE(decoder->duration(), 1.0 + MidiDecoder::TailSeconds);
        const auto pcm = decodeAll(*decoder, 4096);
        QCOMPARE(pcm.size() / 2, static_cast<std::size_t>(2.0 * 44100));
        QVERIFY(rmsDb(pcm.data(), 44100) > -40.0); // the notes sound
    }

    void shouldMeasureMidiLength_data()
    {
        QTest::addColumn<QByteArray>("track");
        QTest::addColumn<int>("division");
        QTest::addColumn<double>("seconds");
        // Events: delta time, then the event. 480 ticks per quarter.
        QTest::newRow("default tempo")
            << QByteArray("\x00\x90\x3C\x40\x83\x60\x80\x3C\x40\x00\xFF\x2F\x00", 13) << 480 << 0.5;
        QTest::newRow("running status")
            << QByteArray("\x00\x90\x3C\x40\x83\x60\x3C\x00\x83\x60\x3E\x40\x00\xFF\x2F\x00", 16) << 480
            << 1.0;
        QTest::newRow("tempo change halfway")
            << QByteArray(
                   "\x00\x90\x3C\x40\x83\x60\xFF\x51\x03\x0F\x42\x40\x83\x60\x80\x3C\x40\x00\xFF\x2F\x00", 21)
            << 480 << 1.5;
        QTest::newRow("sysex and program change")
            << QByteArray("\x00\xF0\x03\x7E\x7F\x09\x00\xC0\x05\x87\x40\x90\x3C\x40\x00\xFF\x2F\x00", 18)
            << 480 << 1.0;
        QTest::newRow("SMPTE 25 fps, 40 ticks")
            << QByteArray("\x00\x90\x3C\x40\x87\x68\x80\x3C\x40\x00\xFF\x2F\x00", 13)
            << ((0x100 - 25) << 8 | 40) << 1.0;
    }

    void shouldMeasureMidiLength()
    {
        QFETCH(QByteArray, track);
        QFETCH(int, division);
        QFETCH(double, seconds);
        QByteArray smf("MThd\x00\x00\x00\x06\x00\x00\x00\x01", 12);
        smf.append(static_cast<char>(division >> 8));
        smf.append(static_cast<char>(division & 0xFF));
        smf.append("MTrk");
        for (int i = 3; i >= 0; --i)
            smf.append(static_cast<char>((track.size() >> (8 * i)) & 0xFF));
        smf.append(track);
        QCOMPARE(MidiDecoder::eventLength(smf), seconds);
        QVERIFY_THROWS_EXCEPTION(DeviceError, (void)MidiDecoder::eventLength(smf.left(smf.size() - 5)));
    }

    void shouldExplainFilesThatCannotPlay()
    {
        QVERIFY(writeBytes(path("empty.wav"), {}));
        QVERIFY(writeBytes(path("notes.mp3"), QByteArray("Shopping list\nmilk\nbread\n").repeated(40)));
        QVERIFY(writeBytes(
            path("broken.mid"),
            QByteArray("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xE0MTrk\x00\x00\x00\x10\x00\x90", 24)));
        QCOMPARE(openError(path("missing.wav")), QStringLiteral("the file does not exist"));
        QCOMPARE(openError(path("empty.wav")), QStringLiteral("the file is empty"));
        QCOMPARE(openError(m_dir.path()), QStringLiteral("not a file"));
        QVERIFY(!openError(path("broken.mid")).isEmpty());
        // Text may open as some raw format, but it must never give sound.
        QString error = openError(path("notes.mp3"));
        if (error.isEmpty()) {
            auto decoder = openAudioDecoder(path("notes.mp3"));
            std::vector<std::int16_t> buf(4096 * 2);
            try {
                QCOMPARE(decoder->read(buf.data(), 4096), std::size_t{0});
            } catch (const DeviceError& e) {
                error = e.message();
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestMediaDecoding)
#include "tst_mediadecoding.moc"
