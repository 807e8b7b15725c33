// SPDX-License-Identifier: GPL-3.0-or-later
// The engine against a private audio server of its own, which the test stops and starts again.
#include "audio/PulseAudioEngine.h"
#include "platform/Errors.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

/// Something listens on the Unix socket `path`.
bool answers(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

/// A PulseAudio daemon with a null sink, on a socket in its own runtime folder.
class PrivateServer {
public:
    PrivateServer() { m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    ~PrivateServer() { stop(); }

    [[nodiscard]] QString address() const { return QStringLiteral("unix:") + socket(); }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.remove(QStringLiteral("PULSE_SERVER"));
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("pulseaudio"),
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                         QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr"),
                         QStringLiteral("-L"),
                         QStringLiteral("module-null-sink sink_name=privatesink rate=44100 channels=2"),
                         QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket()});
        if (!m_process.waitForStarted(3000))
            return false;
        // Up once it answers on its socket (a crashed one may have left the file behind).
        for (int i = 0; i < 100; ++i) {
            if (answers(socket()))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill(); // gone at once, as a crashed server would be
        m_process.waitForFinished(3000);
        // A crashed server leaves its socket behind.
    }

private:
    [[nodiscard]] QString socket() const { return m_dir.filePath(QStringLiteral("native")); }
    QTemporaryDir m_dir;
    QProcess m_process;
};

/// A tone of `frames` frames, then the end.
class ToneSource : public PcmSource {
public:
    explicit ToneSource(std::size_t frames)
        : m_left(frames)
    {
    }
    std::size_t read(std::int16_t* out, std::size_t frames) override
    {
        const std::size_t n = std::min(frames, m_left);
        for (std::size_t i = 0; i < n; ++i)
            out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(((m_left - i) / 50) % 2 ? 8000 : -8000);
        m_left -= n;
        return n;
    }

private:
    std::size_t m_left;
};

QString startError(AudioOutput& output)
{
    try {
        output.start(std::make_shared<ToneSource>(4410));
    } catch (const DeviceError& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestPulseAudioEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shouldCarryOnWithoutAServerAndReconnectWhenItIsBack()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            QSKIP("no pulseaudio to run a private server with");
        PrivateServer server;
        PulseAudioEngine engine(QStringLiteral("sonavex-test"), server.address());
        QVERIFY(!engine.waitConnected(200));
        const QString noServer = startError(engine);
        QVERIFY2(noServer.startsWith(QStringLiteral("No audio output: ")), qPrintable(noServer));
        QVERIFY_THROWS_EXCEPTION(DeviceError, engine.startCapture(nullptr));

        QVERIFY(server.start());
        QVERIFY(engine.waitConnected(3000));
        {
            auto stream = engine.start(std::make_shared<ToneSource>(4410));
            QSignalSpy finished(stream.get(), &OutputStream::finished);
            QVERIFY(finished.wait(3000));
            QCOMPARE(stream->framesPlayed(), std::int64_t{4410});
        }

        // The server dies under a playing stream: the stream says it was cut off (it did not
        // end), and starts fail with a reason.
        auto playing = engine.start(std::make_shared<ToneSource>(44100 * 30));
        QSignalSpy ended(playing.get(), &OutputStream::finished);
        QSignalSpy cut(playing.get(), &OutputStream::failed);
        server.stop();
        QVERIFY(cut.wait(3000));
        QCOMPARE(cut.at(0).at(0).toString(), QStringLiteral("Connection terminated"));
        QCOMPARE(ended.count(), 0);
        QTRY_VERIFY(!engine.isConnected());
        const QString gone = startError(engine);
        QVERIFY2(gone.startsWith(QStringLiteral("No audio output: ")), qPrintable(gone));
        playing.reset();

        // A start right after the server is back connects at once, without waiting for a retry.
        QVERIFY(server.start());
        const QString back = startError(engine);
        QVERIFY2(back.isEmpty(), qPrintable(back));
    }

    void shouldPauseKeepPositionAndStopWithoutFinishing()
    {
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        auto stream = engine.start(std::make_shared<ToneSource>(44100 * 10));
        QSignalSpy finished(stream.get(), &OutputStream::finished);
        QTest::qWait(200);
        stream->pause();
        QVERIFY(stream->isPaused());
        QTest::qWait(100);
        const std::int64_t at = stream->framesPlayed();
        QVERIFY2(at > 44100 / 10 && at < 44100 / 2, qPrintable(QString::number(at)));
        QTest::qWait(200);
        QCOMPARE(stream->framesPlayed(), at);
        stream->resume();
        QTest::qWait(200);
        QVERIFY(stream->framesPlayed() > at + 44100 / 20);
        stream->stop();
        QTest::qWait(100);
        QCOMPARE(finished.count(), 0);
    }

    // PipeWire runs its whole graph at the period the smallest request asks: a stream of ours must
    // not ask one under 512 frames (10.7 ms), which clients on busy cores missed, each miss a blank.
    void onPipeWireAStreamAsksAPeriodOfAtLeast512Frames()
    {
        const auto pactl = [](const QStringList& args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral("pactl"), args);
            p.waitForFinished(3000);
            return QString::fromUtf8(p.readAllStandardOutput());
        };
        if (!pactl({QStringLiteral("info")}).contains(QStringLiteral("PipeWire")))
            QSKIP("the test server is not PipeWire's");
        PulseAudioEngine engine(QStringLiteral("sonavex-period"));
        QVERIFY(engine.waitConnected(3000));
        QTest::qWait(200); // the server has said its name
        auto stream = engine.start(std::make_shared<ToneSource>(44100 * 10));
        QTest::qWait(300);
        const QString inputs = pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
        stream->stop();
        // Every stream of ours: the one playing and the one kept ready for the next start.
        static const QRegularExpression latency(
            QStringLiteral("application.name = \"sonavex-period\"[^#]*?node.latency = \"(\\d+)/(\\d+)\""));
        int streams = 0;
        for (const QRegularExpressionMatch& m : latency.globalMatch(inputs)) {
            ++streams;
            const double ms = 1000.0 * m.captured(1).toDouble() / m.captured(2).toDouble();
            QVERIFY2(ms >= 512.0 / 48.0, qPrintable(QString::number(ms)));
        }
        QVERIFY2(streams >= 2, qPrintable(inputs));
    }

    void shouldRampGainChangesInsteadOfClicking()
    {
        struct Level : PcmSource {
            std::size_t read(std::int16_t* out, std::size_t frames) override
            {
                std::fill(out, out + 2 * frames, std::int16_t{16000});
                return frames;
            }
        };
        struct Recording : PcmSink {
            void write(const std::int16_t* in, std::size_t n) override
            {
                std::lock_guard lock(mutex);
                left.reserve(left.size() + n);
                for (std::size_t i = 0; i < n; ++i)
                    left.push_back(in[2 * i]);
            }
            std::mutex mutex;
            std::vector<std::int16_t> left;
        };
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        auto recording = std::make_shared<Recording>();
        auto capture = engine.startCapture(recording);
        auto stream = engine.start(std::make_shared<Level>());
        QTest::qWait(300);
        stream->setGain(0.0);
        QTest::qWait(200);
        stream->setGain(1.0);
        QTest::qWait(200);
        stream.reset();
        capture.reset();
        // A step would jump from one level to the other; a ramp passes through the levels between.
        std::size_t between = 0;
        std::size_t loud = 0;
        for (std::int16_t v : recording->left) {
            between += (v > 2000 && v < 14000) ? 1 : 0;
            loud += v >= 15990 ? 1 : 0;
        }
        QVERIFY2(loud > 44100 / 4, qPrintable(QString::number(loud)));
        QVERIFY2(between >= 2 * 100, qPrintable(QString::number(between))); // two ramps of about 5 ms
    }

    void shouldCaptureFromTheDefaultSource()
    {
        struct Counter : PcmSink {
            void write(const std::int16_t*, std::size_t n) override { frames += n; }
            std::atomic<std::size_t> frames{0};
        };
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server: eval \"$(scripts/start-test-audio)\"");
        auto counter = std::make_shared<Counter>();
        auto capture = engine.startCapture(counter);
        QTest::qWait(500);
        capture->stop();
        const std::size_t got = counter->frames;
        QVERIFY2(got > 44100 / 4 && got < 44100, qPrintable(QString::number(got)));
        QTest::qWait(100);
        QCOMPARE(counter->frames.load(), got);
    }
};

QTEST_GUILESS_MAIN(TestPulseAudioEngine)
#include "tst_pulseaudioengine.moc"
