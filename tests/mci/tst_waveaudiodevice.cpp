// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/CapturingAudioOutput.h"
#include "fakes/FakeAudioInput.h"
#include "fakes/MediaFiles.h"
#include "mci/MciInterface.h"
#include "mci/WaveAudioDevice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

using Samples = std::vector<std::int16_t>;

constexpr std::size_t framesOfMs(std::size_t ms)
{
    return ms * 441 / 10;
}

/// Samples [from, to) of interleaved stereo `s`, in frames.
Samples slice(const Samples& s, std::size_t from, std::size_t to)
{
    return Samples(s.begin() + std::ptrdiff_t(from * 2), s.begin() + std::ptrdiff_t(to * 2));
}

Samples constant(std::size_t frames, std::int16_t value)
{
    return Samples(frames * 2, value);
}

/// Writes a file of any libsndfile format from float samples.
bool writeFloat(const QString& path, int format, int rate, int channels, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const auto frames = sf_count_t(samples.size()) / channels;
    const bool ok = sf_writef_float(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

} // namespace

class TestWaveAudioDevice : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CapturingAudioOutput> m_output;
    std::unique_ptr<FakeAudioInput> m_input;

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    /// Opens `file` (empty: a new wave) in milliseconds; 0 unless it worked.
    MCIDEVICEID open(const QString& file = {})
    {
        MCIDEVICEID id = 0;
        if (const MCIERROR e = openError(file, &id))
            qWarning("open answered %u", e);
        MCI_SET_PARMS set;
        set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
        mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, &set);
        return id;
    }

    static MCIERROR openError(const QString& file, MCIDEVICEID* id = nullptr)
    {
        const QByteArray name = file.toUtf8();
        MCI_OPEN_PARMS p;
        p.lpstrDeviceType = "waveaudio";
        p.lpstrElementName = name.constData();
        const MCIERROR e = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &p);
        if (id)
            *id = e == 0 ? p.wDeviceID : 0;
        return e;
    }

    static quint32 status(MCIDEVICEID id, quint32 item)
    {
        MCI_STATUS_PARMS p;
        p.dwItem = item;
        const MCIERROR e = mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &p);
        return e == 0 ? p.dwReturn : 0xDEADu;
    }

    static MCIERROR play(MCIDEVICEID id, quint32 flags, quint32 from = 0, quint32 to = 0)
    {
        MCI_PLAY_PARMS p;
        p.dwFrom = from;
        p.dwTo = to;
        return mciSendCommandA(id, MCI_PLAY, flags, &p);
    }

    static MCIERROR record(MCIDEVICEID id, quint32 flags, quint32 from = 0, quint32 to = 0)
    {
        MCI_RECORD_PARMS p;
        p.dwFrom = from;
        p.dwTo = to;
        return mciSendCommandA(id, MCI_RECORD, flags, &p);
    }

    static MCIERROR seek(MCIDEVICEID id, quint32 flags, quint32 to = 0)
    {
        MCI_SEEK_PARMS p;
        p.dwTo = to;
        return mciSendCommandA(id, MCI_SEEK, flags | MCI_WAIT, &p);
    }

    static MCIERROR save(MCIDEVICEID id, const QString& file)
    {
        const QByteArray name = file.toUtf8();
        MCI_SAVE_PARMS p;
        p.lpfilename = name.constData();
        return mciSendCommandA(id, MCI_SAVE, MCI_SAVE_FILE | MCI_WAIT, &p);
    }

    static MCIERROR simple(MCIDEVICEID id, quint32 command)
    {
        MCI_GENERIC_PARMS p;
        return mciSendCommandA(id, command, 0, &p);
    }

    /// The whole wave of device `id`, played through the capturing output.
    Samples contents(MCIDEVICEID id)
    {
        const std::size_t frames = framesOfMs(status(id, MCI_STATUS_LENGTH) + 1);
        if (play(id, MCI_FROM, 0) != 0)
            return {};
        if (!m_output->current())
            return {};
        m_output->pull(frames);
        return m_output->captures().last()->samples;
    }

    /// A file's samples as 32-bit integers, in its own rate and channels.
    static std::vector<std::int32_t> readNative(const QString& file, SF_INFO* info = nullptr)
    {
        SF_INFO local{};
        SNDFILE* f = sf_open(QFile::encodeName(file).constData(), SFM_READ, &local);
        if (info)
            *info = local;
        if (!f)
            return {};
        // Through doubles: exact for integer files, and float files are not scaled by their peak.
        std::vector<double> d(std::size_t(local.frames * local.channels));
        sf_readf_double(f, d.data(), local.frames);
        sf_close(f);
        std::vector<std::int32_t> s(d.size());
        std::transform(d.begin(), d.end(), s.begin(), [](double x) {
            return std::int32_t(std::clamp(std::lrint(x * 2147483648.0), -2147483648L, 2147483647L));
        });
        return s;
    }

    static Samples readBack(const QString& file, SF_INFO& info)
    {
        info = SF_INFO{};
        SNDFILE* f = sf_open(QFile::encodeName(file).constData(), SFM_READ, &info);
        if (!f)
            return {};
        Samples s(std::size_t(info.frames * info.channels));
        sf_readf_short(f, s.data(), info.frames);
        sf_close(f);
        return s;
    }

private Q_SLOTS:
    void init()
    {
        Mci::reset();
        m_output = std::make_unique<CapturingAudioOutput>(0.0);
        m_input = std::make_unique<FakeAudioInput>();
        registerWaveAudioDevice(*m_output, *m_input);
    }

    void cleanup()
    {
        Mci::reset();
        m_input.reset();
        m_output.reset();
    }

    // ---- opening

    void opensAWaveExactlyAndANewWaveEmpty()
    {
        const Samples ramp = MediaFiles::ramp(framesOfMs(1500));
        QVERIFY(MediaFiles::writeWav(path("ramp.wav"), ramp));
        const MCIDEVICEID id = open(path("ramp.wav"));
        QVERIFY(id != 0);
        QCOMPARE(status(id, MCI_STATUS_LENGTH), 1500u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QVERIFY(contents(id) == ramp);

        const MCIDEVICEID empty = open();
        QVERIFY(empty != 0);
        QCOMPARE(status(empty, MCI_STATUS_LENGTH), 0u);
        QCOMPARE(seek(empty, MCI_SEEK_TO_END), 0u);
        QCOMPARE(status(empty, MCI_STATUS_POSITION), 0u);

        // Without an element at all the wave is new too.
        MCI_OPEN_PARMS p;
        p.lpstrDeviceType = "waveaudio";
        QCOMPARE(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, &p), 0u);
        QCOMPARE(status(p.wDeviceID, MCI_STATUS_LENGTH), 0u);
    }

    void playsOtherFormatsAndSavesThemAsTheyCame_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("mono 22.05 kHz 16-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 22050 << 1;
        QTest::newRow("mono 44.1 kHz 8-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 44100 << 1;
        QTest::newRow("stereo 48 kHz float") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 48000 << 2;
        QTest::newRow("5.1 at 44.1 kHz, 24-bit extensible")
            << (SF_FORMAT_WAVEX | SF_FORMAT_PCM_24) << 44100 << 6;
        QTest::newRow("mono 11.025 kHz 8-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 11025 << 1;
        QTest::newRow("stereo 96 kHz 24-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 96000 << 2;
    }

    void playsOtherFormatsAndSavesThemAsTheyCame()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        // Two seconds of a 1 kHz tone at half scale in every channel.
        const Samples tone = MediaFiles::tone(1000, 2.0, 0.5, rate, channels);
        std::vector<float> floats(tone.size());
        std::transform(tone.begin(), tone.end(), floats.begin(),
                       [](std::int16_t s) { return float(s) / 32768.0f; });
        QVERIFY(writeFloat(path("other.wav"), format, rate, channels, floats));

        const MCIDEVICEID id = open(path("other.wav"));
        QVERIFY(id != 0);
        QVERIFY(qAbs(int(status(id, MCI_STATUS_LENGTH)) - 2000) <= 2);
        const Samples s = contents(id);
        const std::size_t frames = s.size() / 2;
        QVERIFY(qAbs(qint64(frames) - qint64(2 * 44100)) <= 64);
        // Both sides carry the tone; mono is copied at full level, more channels mixed down.
        const double left = MediaFiles::toneLevelDb(s.data() + 2000, frames - 2000, 2, 1000);
        const double right = MediaFiles::toneLevelDb(s.data() + 2001, frames - 2000, 2, 1000);
        QVERIFY2(left > -12.0 && left < 0.5, qPrintable(QString::number(left)));
        QVERIFY2(qAbs(left - right) < 0.5, qPrintable(QStringLiteral("%1 %2").arg(left).arg(right)));
        if (channels <= 2)
            QVERIFY2(qAbs(left + 6.02) < 0.5, qPrintable(QString::number(left)));

        // Saved as it came: same format, every sample as it was.
        const std::vector<std::int32_t> original = readNative(path("other.wav"));
        QCOMPARE(save(id, path("saved.wav")), 0u);
        SF_INFO info;
        QCOMPARE(readNative(path("saved.wav"), &info), original);
        QCOMPARE(info.format, format);
        QCOMPARE(info.samplerate, rate);
        QCOMPARE(info.channels, channels);

        // What is recorded at the end is converted into that format, the last of it coming
        // after the stop; the rest stays exact.
        QCOMPARE(record(id, MCI_FROM, status(id, MCI_STATUS_LENGTH)), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(300), 8192)));
        m_input->inFlight = qint64(framesOfMs(200));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(200), 8192)));
        QCOMPARE(save(id, path("saved.wav")), 0u);
        const std::vector<std::int32_t> grown = readNative(path("saved.wav"), &info);
        QCOMPARE(info.format, format);
        QCOMPARE(info.samplerate, rate);
        const auto originalFrames = qint64(original.size()) / channels;
        QVERIFY(qAbs(qint64(grown.size()) / channels - originalFrames - rate / 2) <= 64);
        QVERIFY(std::equal(original.begin(), original.end() - channels * 64, grown.begin()));
        for (const qint64 at : {originalFrames + rate / 4, originalFrames + rate * 45 / 100}) {
            const double recorded = grown[std::size_t(at) * std::size_t(channels)] / 2147483648.0;
            QVERIFY2(qAbs(recorded - 0.25) < 0.02, qPrintable(QString::number(recorded)));
        }
    }

    void refusesWhatIsNoReadableWave()
    {
        QVERIFY(MediaFiles::writeAu(path("sun.au"), MediaFiles::tone(440, 0.2)));
        QVERIFY(MediaFiles::writeBytes(path("junk.wav"), QByteArray("RIFF\x10\0\0\0WAVEjunkjunkjunk", 24)));
        QVERIFY(MediaFiles::writeBytes(path("empty.wav"), QByteArray()));
        QCOMPARE(openError(path("missing.wav")), MCIERR_FILE_NOT_FOUND);
        QCOMPARE(openError(path("sun.au")), MCIERR_INVALID_FILE);
        QCOMPARE(openError(path("junk.wav")), MCIERR_INVALID_FILE);
        QCOMPARE(openError(path("empty.wav")), MCIERR_INVALID_FILE);
        QCOMPARE(openError(m_dir.path()), MCIERR_INVALID_FILE);
        QVERIFY(Mci::openDevices().isEmpty());
        QVERIFY(!Mci::errorText(MCIERR_INVALID_FILE).isEmpty());
    }

    void answersItsCapabilitiesInMillisecondsAndRefusesIncompleteQueries()
    {
        const MCIDEVICEID id = open();
        const QList<std::pair<quint32, quint32>> answers{
            {MCI_GETDEVCAPS_CAN_EJECT, 0},
            {MCI_GETDEVCAPS_CAN_PLAY, 1},
            {MCI_GETDEVCAPS_CAN_RECORD, 1},
            {MCI_GETDEVCAPS_CAN_SAVE, 1},
            {MCI_GETDEVCAPS_USES_FILES, 1},
            {MCI_GETDEVCAPS_HAS_AUDIO, 1},
            {MCI_GETDEVCAPS_HAS_VIDEO, 0},
            {MCI_GETDEVCAPS_COMPOUND_DEVICE, 1},
            {MCI_GETDEVCAPS_DEVICE_TYPE, MCI_DEVTYPE_WAVEFORM_AUDIO}};
        for (const auto& [item, value] : answers) {
            MCI_GETDEVCAPS_PARMS caps;
            caps.dwItem = item;
            caps.dwReturn = 99;
            QCOMPARE(mciSendCommandA(id, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, &caps), 0u);
            QCOMPARE(caps.dwReturn, value);
        }
        MCI_GETDEVCAPS_PARMS caps;
        caps.dwItem = MCI_GETDEVCAPS_CAN_PLAY;
        QCOMPARE(mciSendCommandA(id, MCI_GETDEVCAPS, 0, &caps), MCIERR_MISSING_PARAMETER);
        QCOMPARE(mciSendCommandA(id, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, nullptr),
                 MCIERR_NULL_PARAMETER_BLOCK);
        MCI_STATUS_PARMS query;
        query.dwItem = MCI_STATUS_MODE;
        QCOMPARE(mciSendCommandA(id, MCI_STATUS, 0, &query), MCIERR_MISSING_PARAMETER);
        QCOMPARE(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, nullptr), MCIERR_NULL_PARAMETER_BLOCK);

        // Milliseconds only.
        MCI_SET_PARMS set;
        for (const quint32 format : {MCI_FORMAT_MSF, MCI_FORMAT_TMSF}) {
            set.dwTimeFormat = format;
            QCOMPARE(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, &set), MCIERR_BAD_TIME_FORMAT);
        }
        QCOMPARE(status(id, MCI_STATUS_TIME_FORMAT), MCI_FORMAT_MILLISECONDS);
    }

    // ---- seeking and playing

    void seeksWithinTheWave()
    {
        QVERIFY(MediaFiles::writeWav(path("w.wav"), MediaFiles::ramp(framesOfMs(3000))));
        const MCIDEVICEID id = open(path("w.wav"));
        QCOMPARE(seek(id, MCI_SEEK_TO_END), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 3000u);
        QCOMPARE(seek(id, MCI_TO, 1250), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1250u);
        QCOMPARE(seek(id, MCI_TO, 3001), MCIERR_OUTOFRANGE);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1250u);
        QCOMPARE(seek(id, MCI_SEEK_TO_START | MCI_SEEK_TO_END), MCIERR_FLAGS_NOT_COMPATIBLE);
        QCOMPARE(seek(id, 0), MCIERR_MISSING_PARAMETER);
        QCOMPARE(seek(id, MCI_SEEK_TO_START), 0u);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 0u);
    }

    void playsTheRangeAndFollowsWhatWasHeard()
    {
        const Samples ramp = MediaFiles::ramp(framesOfMs(3000));
        QVERIFY(MediaFiles::writeWav(path("w.wav"), ramp));
        const MCIDEVICEID id = open(path("w.wav"));

        QCOMPARE(play(id, MCI_FROM | MCI_TO, 1000, 2000), 0u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1000u);
        m_output->pull(framesOfMs(500));
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1500u);

        QCOMPARE(simple(id, MCI_PAUSE), 0u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_PAUSE);
        QCOMPARE(m_output->pull(100), std::size_t(0));
        QCOMPARE(play(id, 0), 0u); // without a start: goes on from the pause point
        m_output->pull(framesOfMs(1100));
        QVERIFY(m_output->captures().size() == 1);
        QVERIFY(m_output->captures().last()->samples == slice(ramp, framesOfMs(1000), framesOfMs(2000)));
        QTRY_COMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 2000u);

        // From the current position to the end.
        QCOMPARE(play(id, 0), 0u);
        m_output->pull(framesOfMs(1100));
        QVERIFY(m_output->captures().last()->samples == slice(ramp, framesOfMs(2000), framesOfMs(3000)));

        QCOMPARE(play(id, MCI_FROM | MCI_TO, 2000, 1000), MCIERR_OUTOFRANGE);
        QCOMPARE(play(id, MCI_FROM, 3001), MCIERR_OUTOFRANGE);
        QCOMPARE(play(id, MCI_FROM | MCI_TO, 0, 3001), MCIERR_OUTOFRANGE);
    }

    void stopKeepsThePositionAndFailuresOfTheOutputAreReported()
    {
        QVERIFY(MediaFiles::writeWav(path("w.wav"), MediaFiles::ramp(framesOfMs(2000))));
        const MCIDEVICEID id = open(path("w.wav"));
        QCOMPARE(play(id, MCI_FROM, 500), 0u);
        m_output->pull(framesOfMs(250));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 750u);
        QVERIFY(m_output->captures().last()->stopped);

        m_output->failStart = true;
        QCOMPARE(play(id, MCI_FROM, 0), MCIERR_NO_AUDIO_OUTPUT);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    }

    // ---- recording

    void recordsIntoANewWaveUntilASeekEndsIt()
    {
        const MCIDEVICEID id = open();
        QCOMPARE(record(id, 0), 0u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_RECORD);
        const Samples take = MediaFiles::ramp(framesOfMs(1200));
        QVERIFY(m_input->deliver(slice(take, 0, framesOfMs(400))));
        QCOMPARE(status(id, MCI_STATUS_POSITION), 400u);
        QVERIFY(m_input->deliver(slice(take, framesOfMs(400), framesOfMs(1200))));

        // What the window does to stop a recording: find the end, then go back.
        QCOMPARE(seek(id, MCI_SEEK_TO_END), 0u);
        QVERIFY(!m_input->capturing());
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1200u);
        QCOMPARE(seek(id, MCI_SEEK_TO_START), 0u);
        QVERIFY(contents(id) == take);
    }

    void recordingOverwritesTheRangeAndStopsAtItsEnd()
    {
        const Samples ramp = MediaFiles::ramp(framesOfMs(3000));
        QVERIFY(MediaFiles::writeWav(path("w.wav"), ramp));
        const MCIDEVICEID id = open(path("w.wav"));
        QCOMPARE(record(id, MCI_FROM | MCI_TO, 1000, 2000), 0u);
        // The input delivers more than the range holds: the rest is not recorded.
        QVERIFY(m_input->deliver(constant(framesOfMs(600), 7)));
        QVERIFY(m_input->deliver(constant(framesOfMs(600), 7)));
        QTRY_VERIFY(!m_input->capturing());
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QCOMPARE(status(id, MCI_STATUS_POSITION), 2000u);
        QCOMPARE(status(id, MCI_STATUS_LENGTH), 3000u);

        Samples expected = ramp;
        std::fill(expected.begin() + std::ptrdiff_t(framesOfMs(1000) * 2),
                  expected.begin() + std::ptrdiff_t(framesOfMs(2000) * 2), 7);
        QVERIFY(contents(id) == expected);
    }

    void recordingPastTheEndGrowsTheWaveAndInsertingMovesTheRest()
    {
        const Samples ramp = MediaFiles::ramp(framesOfMs(1000));
        QVERIFY(MediaFiles::writeWav(path("w.wav"), ramp));
        const MCIDEVICEID id = open(path("w.wav"));
        QCOMPARE(record(id, MCI_FROM, 500), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(1000), 3)));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QCOMPARE(status(id, MCI_STATUS_LENGTH), 1500u);
        Samples expected = slice(ramp, 0, framesOfMs(500));
        const Samples threes = constant(framesOfMs(1000), 3);
        expected.insert(expected.end(), threes.begin(), threes.end());
        QVERIFY(contents(id) == expected);

        QCOMPARE(record(id, MCI_FROM | MCI_RECORD_INSERT, 0), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(250), 9)));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QCOMPARE(status(id, MCI_STATUS_LENGTH), 1750u);
        const Samples nines = constant(framesOfMs(250), 9);
        expected.insert(expected.begin(), nines.begin(), nines.end());
        QVERIFY(contents(id) == expected);

        QCOMPARE(record(id, MCI_RECORD_INSERT | MCI_RECORD_OVERWRITE), MCIERR_FLAGS_NOT_COMPATIBLE);
    }

    void refusesEmptyOrOutsideRangesAndAMissingInput()
    {
        QVERIFY(MediaFiles::writeWav(path("w.wav"), MediaFiles::ramp(framesOfMs(1000))));
        const MCIDEVICEID id = open(path("w.wav"));
        QCOMPARE(record(id, MCI_FROM | MCI_TO, 500, 500), MCIERR_OUTOFRANGE);
        QCOMPARE(record(id, MCI_FROM | MCI_TO, 600, 500), MCIERR_OUTOFRANGE);
        QCOMPARE(record(id, MCI_FROM, 1001), MCIERR_OUTOFRANGE);
        QCOMPARE(m_input->started, 0);
        m_input->failWith = QStringLiteral("No audio input: none here");
        QCOMPARE(record(id, 0), MCIERR_NO_AUDIO_INPUT);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    }

    void aTakeKeepsWhatWasInFlightWhenItStopped()
    {
        const MCIDEVICEID id = open();
        // Held ready while a wave is open, so that a take starts at once.
        QCOMPARE(m_input->held, 1);
        QCOMPARE(record(id, 0), 0u);
        const Samples take = MediaFiles::ramp(framesOfMs(1000));
        QVERIFY(m_input->deliver(slice(take, 0, framesOfMs(700))));
        // At the stop the server still holds 300 ms of the take, 2 blocks of which it dropped.
        m_input->inFlight = qint64(framesOfMs(300));
        m_input->droppedBlocks = 2;
        QCOMPARE(seek(id, MCI_SEEK_TO_END), 0u);
        // The take is whole at once: nothing waited for the rest, which comes into its room.
        QCOMPARE(status(id, MCI_STATUS_POSITION), 1000u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
        QVERIFY(m_input->capturing());
        QVERIFY(m_input->deliver(slice(take, framesOfMs(700), framesOfMs(1000))));
        QVERIFY(!m_input->capturing());
        QCOMPARE(status(id, MCI_WAVE_STATUS_DROPPED_BLOCKS), 2u);
        QVERIFY(contents(id) == take);

        // A save right after a stop waits for the rest of the take, coming on the audio thread.
        QCOMPARE(record(id, MCI_FROM | MCI_RECORD_INSERT, 0), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(100), 5)));
        m_input->inFlight = qint64(framesOfMs(200));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        std::thread audio([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_input->deliver(constant(framesOfMs(200), 5));
        });
        const MCIERROR saved = save(id, path("take"));
        audio.join();
        QCOMPARE(saved, 0u);
        SF_INFO info;
        Samples expected = constant(framesOfMs(300), 5);
        expected.insert(expected.end(), take.begin(), take.end());
        QVERIFY(readBack(path("take"), info) == expected);

        // A server that stalls past the wait: the save keeps silence where the rest would be,
        // and says so as a dropped block.
        m_input->droppedBlocks = 0;
        const quint32 droppedBefore = status(id, MCI_WAVE_STATUS_DROPPED_BLOCKS);
        QCOMPARE(record(id, MCI_FROM | MCI_RECORD_INSERT, 0), 0u);
        m_input->inFlight = qint64(framesOfMs(200));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QCOMPARE(save(id, path("stalled")), 0u);
        QCOMPARE(status(id, MCI_WAVE_STATUS_DROPPED_BLOCKS), droppedBefore + 1);

        QCOMPARE(mciSendCommandA(id, MCI_CLOSE, 0, nullptr), 0u);
        QCOMPARE(m_input->held, 0);
    }

    void pauseKeepsTheTakeAndResumeGoesOn()
    {
        const MCIDEVICEID id = open();
        QCOMPARE(record(id, 0), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(300), 1)));
        QCOMPARE(simple(id, MCI_PAUSE), 0u);
        QVERIFY(!m_input->capturing());
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_PAUSE);
        QCOMPARE(simple(id, MCI_RESUME), 0u);
        QVERIFY(m_input->deliver(constant(framesOfMs(200), 2)));
        QCOMPARE(simple(id, MCI_STOP), 0u);
        QCOMPARE(status(id, MCI_STATUS_LENGTH), 500u);
    }

    void keepsEverySampleTheAudioThreadDelivers()
    {
        const MCIDEVICEID id = open();
        QCOMPARE(record(id, 0), 0u);
        // The input runs on a thread of its own while the window asks for the position.
        constexpr int Chunks = 400;
        constexpr std::size_t ChunkFrames = 441;
        std::atomic<bool> done{false};
        std::thread audio([&] {
            for (int i = 0; i < Chunks; ++i) {
                Samples chunk(ChunkFrames * 2);
                for (std::size_t f = 0; f < ChunkFrames; ++f)
                    chunk[2 * f] = chunk[2 * f + 1] = std::int16_t((i * int(ChunkFrames) + int(f)) % 30000);
                m_input->deliver(chunk);
                if (i % 50 == 0)
                    std::this_thread::yield();
            }
            done = true;
        });
        quint32 last = 0;
        while (!done) {
            const quint32 now = status(id, MCI_STATUS_POSITION);
            QVERIFY(now >= last);
            last = now;
        }
        audio.join();
        QCOMPARE(simple(id, MCI_STOP), 0u);
        const Samples s = contents(id);
        QCOMPARE(s.size(), Chunks * ChunkFrames * 2);
        for (std::size_t f = 0; f < s.size() / 2; ++f) {
            if (s[2 * f] != std::int16_t(f % 30000))
                QFAIL(qPrintable(QStringLiteral("frame %1 is wrong").arg(f)));
        }
    }

    // ---- saving and closing

    void savesA16BitWaveUnderTheNameAsGiven()
    {
        const MCIDEVICEID id = open();
        QCOMPARE(record(id, 0), 0u);
        const Samples take = MediaFiles::ramp(framesOfMs(700));
        QVERIFY(m_input->deliver(take));
        // Saving beside a recording keeps it running and holds what came so far.
        QCOMPARE(save(id, path("take")), 0u);
        QCOMPARE(status(id, MCI_STATUS_MODE), MCI_MODE_RECORD);
        QVERIFY(QFile::exists(path("take")));
        QVERIFY(!QFile::exists(path("take.wav")));
        SF_INFO info;
        const Samples back = readBack(path("take"), info);
        QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        QCOMPARE(info.samplerate, 44100);
        QCOMPARE(info.channels, 2);
        QVERIFY(back == take);

        // Saving again replaces the file.
        QVERIFY(m_input->deliver(take));
        QCOMPARE(save(id, path("take")), 0u);
        QCOMPARE(readBack(path("take"), info).size(), take.size() * 2);
    }

    void refusesToSaveWhereNoFileCanBeWritten()
    {
        const MCIDEVICEID id = open();
        QCOMPARE(save(id, path("no/such/folder/x.wav")), MCIERR_FILE_WRITE);
        QVERIFY(!QDir(path("no")).exists());
        QCOMPARE(save(id, m_dir.path()), MCIERR_FILE_WRITE);
        QVERIFY(MediaFiles::writeBytes(path("plain"), "x"));
        QCOMPARE(save(id, path("plain/x.wav")), MCIERR_FILE_WRITE);
        MCI_SAVE_PARMS p;
        QCOMPARE(mciSendCommandA(id, MCI_SAVE, MCI_SAVE_FILE, &p), MCIERR_MISSING_PARAMETER);
    }

    void closeEndsPlayingAndRecording()
    {
        QVERIFY(MediaFiles::writeWav(path("w.wav"), MediaFiles::ramp(framesOfMs(1000))));
        const MCIDEVICEID player = open(path("w.wav"));
        const MCIDEVICEID recorder = open();
        QCOMPARE(play(player, MCI_FROM, 0), 0u);
        QCOMPARE(record(recorder, 0), 0u);
        QCOMPARE(mciSendCommandA(player, MCI_CLOSE, 0, nullptr), 0u);
        QCOMPARE(mciSendCommandA(recorder, MCI_CLOSE, 0, nullptr), 0u);
        QVERIFY(m_output->captures().last()->stopped);
        QVERIFY(!m_input->capturing());
        QVERIFY(Mci::openDevices().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWaveAudioDevice)
#include "tst_waveaudiodevice.moc"
