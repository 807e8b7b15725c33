// SPDX-License-Identifier: GPL-3.0-or-later
// The program in a real X window (Xvfb): it comes up as "Sonavex", 718 x 464 with its frame, and,
// however it is ended (Exit, SIGTERM), writes the tab names and the info file.
#include "SecondOutput.h"
#include "SinkRecorder.h"
#include "audio/PulseAudioEngine.h"
#include "fakes/FakeDialogs.h"
#include "fakes/MediaFiles.h"
#include "fakes/SongFixtures.h"
#include "platform/IniRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

class TestRealWindow : public QObject {
    Q_OBJECT

    /// The program under test, ended as a desktop session ends it (SIGTERM) when the test is done.
    struct Program : QProcess {
        ~Program() override
        {
            terminate();
            waitForFinished(10000);
        }
    };

    QTemporaryDir m_home;
    QProcessEnvironment m_env;

    QString infoPath() const { return m_home.path() + QLatin1String("/data/Sonavex/songs.inf"); }

    /// Starts the program and returns its window id, or an empty string.
    QString start(QProcess& program)
    {
        run({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")}, m_env); // no tooltips
        program.setProcessEnvironment(m_env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(SONAVEX_BINARY), {});
        if (!program.waitForStarted(5000))
            return {};
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000) {
            const QString ids = run({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--pid"), QString::number(program.processId()),
                                     QStringLiteral("--name"), QStringLiteral("^Sonavex$")},
                                    m_env);
            // Tooltips and menus of the program are windows named like it: take the largest
            // window the X server knows a size for.
            QString best;
            int bestArea = 0;
            for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QString geometry = run({QStringLiteral("getwindowgeometry"), id}, m_env);
                const auto size =
                    QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
                const int area = size.hasMatch() ? size.captured(1).toInt() * size.captured(2).toInt() : 0;
                if (area > bestArea) {
                    best = id;
                    bestArea = area;
                }
            }
            // The splash window comes and goes while the program starts: take a window
            // that is still there a moment later.
            if (bestArea > 100 * 100) {
                QTest::qWait(500);
                if (run({QStringLiteral("getwindowgeometry"), best}, m_env)
                        .contains(QLatin1String("Geometry:")))
                    return best;
            }
            QTest::qWait(100);
        }
        return {};
    }

    /// The whole window, frame included: the client's size plus the frame the window
    /// manager reports (none on a bare X server).
    QSize outerSize(const QString& id)
    {
        const auto size = QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)"))
                              .match(run({QStringLiteral("getwindowgeometry"), id}, m_env));
        if (!size.hasMatch())
            return {};
        QProcess xprop;
        xprop.setProcessEnvironment(m_env);
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
        xprop.waitForFinished(5000);
        const auto frame = QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"))
                               .match(QString::fromUtf8(xprop.readAllStandardOutput()));
        QSize outer(size.captured(1).toInt(), size.captured(2).toInt());
        if (frame.hasMatch())
            outer += QSize(frame.captured(1).toInt() + frame.captured(2).toInt(),
                           frame.captured(3).toInt() + frame.captured(4).toInt());
        return outer;
    }

    /// The title a window manager shows: the UTF-8 name, which may differ from the
    /// plain one xdotool searches.
    QString shownTitle(const QString& id)
    {
        QProcess xprop;
        xprop.setProcessEnvironment(m_env);
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_NAME")});
        xprop.waitForFinished(5000);
        const auto name = QRegularExpression(QStringLiteral("= \"(.*)\"$"))
                              .match(QString::fromUtf8(xprop.readAllStandardOutput()).trimmed());
        return name.hasMatch() ? name.captured(1) : QString();
    }

    /// Waits for a window of the program titled exactly `title` to take its outer size.
    QString waitForWindow(const QProcess& program, const QString& title, QSize outer)
    {
        QElapsedTimer clock;
        clock.start();
        QString seen;
        while (clock.elapsed() < 10000) {
            const QStringList ids =
                run({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(program.processId()), QStringLiteral("--name"),
                     QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')},
                    m_env)
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString& id : ids) {
                const QSize size = outerSize(id);
                const QString shown = shownTitle(id);
                if (size == outer && shown == title)
                    return id;
                seen = QStringLiteral("\"%1\", %2 x %3").arg(shown).arg(size.width()).arg(size.height());
            }
            QTest::qWait(100);
        }
        qWarning("%s: %s", qPrintable(title), seen.isEmpty() ? "no such window" : qPrintable(seen));
        return {};
    }

    void checkSaved()
    {
        QVERIFY2(QFileInfo::exists(infoPath()), qPrintable(infoPath()));
        IniRegistry reg(m_home.path() + QLatin1String("/config"));
        QVERIFY(reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), false));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(reg.ReadString(QStringLiteral("Tab%1").arg(i)),
                     QStringLiteral("Music Sheet %1").arg(i + 1));
    }

    void forgetSaved()
    {
        QFile::remove(infoPath());
        QFile::remove(m_home.path() + QLatin1String("/config/Brasswold.ini"));
    }

    /// A show of the given songs in slots 0, 1, 2... of the first sheet, and settings values
    /// ("Keys/F1" = "0,0").
    void prepareShow(const QStringList& songs, const QHash<QString, QString>& settings = {})
    {
        forgetSaved();
        IniRegistry registry(m_home.path() + QLatin1String("/config"));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
            QVERIFY(registry.OpenKey(
                QStringLiteral("\\Software\\Brasswold\\") + it.key().section(QLatin1Char('/'), 0, 0), true));
            registry.WriteString(it.key().section(QLatin1Char('/'), 1), it.value());
            registry.CloseKey();
        }
        FakeDialogs dialogs;
        qputenv("XDG_DATA_HOME", (m_home.path() + QLatin1String("/data")).toUtf8());
        TSongInfo store(registry, dialogs);
        for (int k = 0; k < songs.size(); ++k)
            store.SetSong(0, k, makeSong(QStringLiteral("Song %1").arg(k + 1), 0, k, songs[k]));
    }

    /// A wave of `seconds` of the tone `hz`, then `silence` seconds of nothing.
    QString toneFile(const QString& name, double hz, double seconds, double silence = 0.0)
    {
        std::vector<std::int16_t> samples = MediaFiles::tone(hz, seconds);
        samples.resize(samples.size() + static_cast<std::size_t>(silence * 44100) * 2, 0);
        const QString path = m_home.path() + QLatin1Char('/') + name;
        MediaFiles::writeWav(path, samples);
        return path;
    }

    /// Clicks the window at `x`, `y` of its client area, with `modifiers` ("shift") held.
    void click(const QString& id, int x, int y, const QString& modifiers = {})
    {
        if (!modifiers.isEmpty())
            run({QStringLiteral("keydown"), modifiers}, m_env);
        run({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")},
            m_env);
        if (!modifiers.isEmpty())
            run({QStringLiteral("keyup"), modifiers}, m_env);
    }

    /// The windows of the program other than `main`: boxes and dialogs.
    QStringList otherWindows(const QProcess& program, const QString& main)
    {
        QStringList ids =
            run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 QString::number(program.processId()), QStringLiteral("--name"), QStringLiteral(".")},
                m_env)
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ids.removeAll(main);
        ids.removeIf([&](const QString& id) { return outerSize(id).width() < 100; }); // tooltips
        return ids;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString display = qEnvironmentVariable("SONAVEX_TEST_DISPLAY");
        if (display.isEmpty())
            QSKIP("no virtual display (run through scripts/test)");
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("DISPLAY"), display);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path() + QLatin1String("/config"));
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QLatin1String("/data"));
        m_env.insert(QStringLiteral("SONAVEX_CDAUDIO"), m_home.path() + QLatin1String("/no-such-disc.cue"));
    }

    void showsTheMainWindowAndExitsOnCtrlX()
    {
        forgetSaved();
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        // Titles as given, sizes of the whole window as the operator sees it.
        QCOMPARE(waitForWindow(program, QStringLiteral("Sonavex"), QSize(718, 464)), id);
        run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, m_env);
        run({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+f")}, m_env);
        const QString fade = waitForWindow(program, QStringLiteral("Fade Properties"), QSize(287, 184));
        QVERIFY2(!fade.isEmpty(), "no fade dialog of 287 x 184 titled \"Fade Properties\"");
        run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), fade}, m_env);
        run({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Escape")}, m_env);
        for (int attempt = 0;
             attempt < 50 &&
             run({QStringLiteral("getwindowgeometry"), fade}, m_env).contains(QLatin1String("Geometry:"));
             ++attempt)
            QTest::qWait(100);

        const QString shot = qEnvironmentVariable("SONAVEX_SCREENSHOT");
        if (!shot.isEmpty()) {
            QTest::qWait(500);
            QProcess::execute(QStringLiteral("import"),
                              {QStringLiteral("-display"), m_env.value(QStringLiteral("DISPLAY")),
                               QStringLiteral("-window"), id, shot});
        }

        // A loaded machine may still be setting the window up: press again until it ends.
        for (int attempt = 0; attempt < 10 && program.state() != QProcess::NotRunning; ++attempt) {
            run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, m_env);
            run({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+x")}, m_env);
            program.waitForFinished(2000);
        }
        QVERIFY2(program.state() == QProcess::NotRunning || program.waitForFinished(10000),
                 "Ctrl+X did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        checkSaved();

        // It was a new user's first start: the samples are on the first sheet, and the help
        // registered is the one laid out beside the program in the build folder.
        IniRegistry registry(m_home.path() + QLatin1String("/config"));
        QVERIFY(registry.OpenKey(QStringLiteral("Software\\Brasswold\\System"), false));
        const QString help = registry.ReadString(QStringLiteral("HelpPath"));
        const QString buildDir =
            QFileInfo(QStringLiteral(SONAVEX_BINARY)).absoluteDir().absoluteFilePath(QStringLiteral(".."));
        QVERIFY2(QFileInfo(help).isFile() && help.startsWith(QDir::cleanPath(buildDir) + QLatin1Char('/')),
                 qPrintable(help));
        registry.CloseKey();
        FakeDialogs dialogs;
        TSongInfo songs(registry, dialogs);
        TSongRecord first;
        QVERIFY(songs.GetSong(0, 0, first));
        QCOMPARE(first.Title.str(), QStringLiteral("Chime"));
    }

    void aPressOnACdTrackPlaysThatTrack()
    {
        using namespace MediaFiles;
        forgetSaved();
        // Three tracks of different pitches; the slot names track 2.
        const QString cue =
            writeCdImage(m_home.path(), {tone(700.0, 3.0), tone(1789.0, 3.0), tone(2345.0, 3.0)});
        QVERIFY(!cue.isEmpty());
        {
            IniRegistry registry(m_home.path() + QLatin1String("/config"));
            FakeDialogs dialogs;
            qputenv("XDG_DATA_HOME", (m_home.path() + QLatin1String("/data")).toUtf8());
            TSongInfo store(registry, dialogs);
            store.SetSong(0, 0,
                          makeSong(QStringLiteral("Track 2"), 0, 0, QStringLiteral("cdda://Track02.cda")));
        }
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);

        QProcessEnvironment env = m_env;
        m_env.insert(QStringLiteral("SONAVEX_CDAUDIO"), cue);
        Program program;
        const QString id = start(program);
        m_env = env;
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        // The first sound button stands at (40, 47) of the tab strip: click its middle, and
        // listen until the track is heard (a slow build may not have laid the window out yet).
        std::vector<std::int16_t> heard;
        for (int attempt = 0; attempt < 15; ++attempt) {
            if (attempt % 5 == 0)
                run({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QStringLiteral("92"),
                     QStringLiteral("134"), QStringLiteral("click"), QStringLiteral("1")},
                    m_env);
            heard = recorder.during(300);
            if (SinkRecorder::toneDb(heard, 1789.0) > -12.0)
                break;
        }
        heard = recorder.during(600, 50);
        const double track2 = SinkRecorder::toneDb(heard, 1789.0);
        QVERIFY2(std::abs(track2 - (-6.02)) < 2.0,
                 qPrintable(QStringLiteral("track 2 at %1 dB").arg(track2)));
        QVERIFY(SinkRecorder::toneDb(heard, 700.0) < -40.0);
        QVERIFY(SinkRecorder::toneDb(heard, 2345.0) < -40.0);
    }

    void aHeldKeyStartsItsSongOncePerPress()
    {
        // A short beep, then silence: every start of the song is heard as one beep.
        prepareShow({toneFile(QStringLiteral("beep.wav"), 1000.0, 0.1, 3.0)},
                    {{QStringLiteral("Keys/F1"), QStringLiteral("0,0")}});
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, m_env);
        const std::size_t from = recorder.frames();
        // Held for 2 s, three times: the window system repeats the key after its delay.
        for (int press = 0; press < 3; ++press) {
            run({QStringLiteral("keydown"), QStringLiteral("F1")}, m_env);
            QTest::qWait(2000);
            run({QStringLiteral("keyup"), QStringLiteral("F1")}, m_env);
            QTest::qWait(300);
        }
        QTest::qWait(200);
        const std::vector<std::int16_t> heard = recorder.since(from);
        // Each press beeps 100 ms; a start per repeat would keep it sounding for over a second.
        const int beeped = SinkRecorder::countOn(SinkRecorder::toneTimeline(heard, 1000.0));
        QVERIFY2(beeped >= 20 && beeped <= 45, qPrintable(QStringLiteral("%1 ms of beeps").arg(beeped * 10)));
    }

    void enterPlaysTheFocusedButtonAndShiftEnterQueuesIt()
    {
        // A plays under a second; C, queued from the keyboard, must follow it, not cut it.
        prepareShow({toneFile(QStringLiteral("a.wav"), 700.0, 0.8),
                     toneFile(QStringLiteral("b.wav"), 1300.0, 0.8),
                     toneFile(QStringLiteral("c.wav"), 2100.0, 2.0)});
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        run({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id}, m_env);
        const std::size_t from = recorder.frames();
        // The first button has the focus when the window opens.
        run({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Return"),
             QStringLiteral("Right"), QStringLiteral("Right"), QStringLiteral("shift+Return")},
            m_env);
        QTest::qWait(2500);
        const std::vector<std::int16_t> heard = recorder.since(from);
        const std::vector<bool> a = SinkRecorder::toneTimeline(heard, 700.0);
        const std::vector<bool> c = SinkRecorder::toneTimeline(heard, 2100.0);
        QVERIFY2(SinkRecorder::countOn(a) >= 60,
                 qPrintable(QStringLiteral("A for %1 ms").arg(SinkRecorder::countOn(a) * 10)));
        QVERIFY2(SinkRecorder::gapPieces(a, c) >= 0, "C did not follow A");
        QVERIFY(SinkRecorder::countOn(SinkRecorder::toneTimeline(heard, 1300.0)) == 0); // B was only passed
    }

    void aChosenOutputUnpluggedWhileIdleDoesNotTakeThePressAway()
    {
        SecondOutput second;
        prepareShow({toneFile(QStringLiteral("a.wav"), 700.0, 3.0)},
                    {{QStringLiteral("System/OutputDevice"), SecondSink}});
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        second.unplug();
        QTest::qWait(500);
        click(id, 92, 134);
        const std::vector<std::int16_t> heard = recorder.during(600, 100);
        const double level = SinkRecorder::toneDb(heard, 700.0);
        QVERIFY2(level > -12.0, qPrintable(QStringLiteral("the first press was heard at %1 dB").arg(level)));
        QVERIFY(otherWindows(program, id).isEmpty()); // the news is in the status bar
    }

    void aChosenOutputMissingAtStartLeavesTheWindowUpAndFree()
    {
        prepareShow({}, {{QStringLiteral("System/OutputDevice"), QStringLiteral("no_such_output")}});
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        QTest::qWait(500);
        QVERIFY2(otherWindows(program, id).isEmpty(), "a box stands in front of the board");
    }

    void pressesAfterTheSoundServerComesBackPlayAtOnce()
    {
        prepareShow({toneFile(QStringLiteral("a.wav"), 700.0, 3.0)});
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);
        // The program looks for its server where none is yet; the test server appears there later.
        QTemporaryDir elsewhere;
        const QString socket = elsewhere.path() + QLatin1String("/native");
        QProcessEnvironment env = m_env;
        m_env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        Program program;
        const QString id = start(program);
        m_env = env;
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        click(id, 92, 134);
        QTest::qWait(500);
        QVERIFY2(otherWindows(program, id).isEmpty(), "a box opened for a state of the machine");
        const QString real = qEnvironmentVariable("PULSE_SERVER").remove(QStringLiteral("unix:"));
        QVERIFY(QFile::link(real, socket));
        QTest::qWait(1500); // the program tries its server again meanwhile
        click(id, 92, 134);
        const std::vector<std::int16_t> heard = recorder.during(600, 100);
        const double level = SinkRecorder::toneDb(heard, 700.0);
        QVERIFY2(level > -12.0,
                 qPrintable(QStringLiteral("the press after the server came was heard at %1 dB").arg(level)));
    }

    void aQueuedSongThatIsGoneIsSkippedAtOnce()
    {
        const QString gone = toneFile(QStringLiteral("gone.wav"), 1000.0, 0.5);
        prepareShow({toneFile(QStringLiteral("a.wav"), 700.0, 0.6), gone,
                     toneFile(QStringLiteral("b.wav"), 1789.0, 1.0)});
        QFile::remove(gone);
        PulseAudioEngine engine(QStringLiteral("sonavex-test"));
        QVERIFY2(engine.waitConnected(3000), "no audio server");
        SinkRecorder recorder(engine);
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        for (int k = 0; k < 3; ++k)
            click(id, 92 + 105 * k, 134, QStringLiteral("shift"));
        const std::size_t from = recorder.frames();
        click(id, 65, 42); // Play
        QTest::qWait(2500);
        const std::vector<std::int16_t> heard = recorder.since(from);
        const int gap = SinkRecorder::gapPieces(SinkRecorder::toneTimeline(heard, 700.0),
                                                SinkRecorder::toneTimeline(heard, 1789.0));
        QVERIFY2(gap >= 0 && gap <= 10,
                 qPrintable(QStringLiteral("%1 ms between the songs around the gone one").arg(gap * 10)));
        QVERIFY(otherWindows(program, id).isEmpty());
    }

    void aFileDraggedFromAnotherProgramFillsTheButtonItIsDroppedOn()
    {
        prepareShow({toneFile(QStringLiteral("a.wav"), 700.0, 1.0)});
        const QString file = toneFile(QStringLiteral("dropped.wav"), 1000.0, 1.0);
        Program program;
        const QString id = start(program);
        QVERIFY2(!id.isEmpty(), "the main window did not appear");
        // The other program's window, away from the board, drags the file over XDND.
        QProcess source;
        source.setProcessEnvironment(m_env);
        source.setProcessChannelMode(QProcess::ForwardedChannels);
        source.start(QStringLiteral(SONAVEX_DRAG_SOURCE), {file});
        const auto endSource = qScopeGuard([&source] {
            source.kill();
            source.waitForFinished(5000);
        });
        QString from;
        for (int attempt = 0; attempt < 100 && from.isEmpty(); ++attempt) {
            QTest::qWait(100);
            from = run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                        QString::number(source.processId()), QStringLiteral("--name"),
                        QStringLiteral("^Drag Source$")},
                       m_env)
                       .section(QLatin1Char('\n'), 0, 0);
        }
        QVERIFY2(!from.isEmpty(), "the drag source did not appear");
        run({QStringLiteral("windowmove"), QStringLiteral("--sync"), from, QStringLiteral("1060"),
             QStringLiteral("840")},
            m_env);
        const auto step = [&](const QString& window, int x, int y) {
            run({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y)},
                m_env);
            QTest::qWait(150);
        };
        step(from, 100, 75);
        run({QStringLiteral("mousedown"), QStringLiteral("1")}, m_env);
        QTest::qWait(300);
        step(from, 120, 80);
        // Onto the second button of the first row, which is free.
        for (const int x : {150, 180, 197, 199})
            step(id, x, 134);
        run({QStringLiteral("mouseup"), QStringLiteral("1")}, m_env);
        step(from, 100, 75); // no tooltip of the button
        QVERIFY2(source.waitForFinished(10000), "the drag did not end");
        QCOMPARE(source.exitCode(), 0);               // taken as a copy
        QVERIFY(otherWindows(program, id).isEmpty()); // a free button asks nothing

        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        IniRegistry registry(m_home.path() + QLatin1String("/config"));
        FakeDialogs dialogs;
        const TSongInfo songs(registry, dialogs);
        QCOMPARE(songs.fileName(0, 1), file);
        QCOMPARE(songs.title(0, 1), QStringLiteral("dropped"));
    }

    void savesEverythingOnSigterm()
    {
        forgetSaved();
        Program program;
        QVERIFY(!start(program).isEmpty());
        program.terminate(); // SIGTERM
        QVERIFY2(program.waitForFinished(10000), "SIGTERM did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        checkSaved();
    }
};

QTEST_GUILESS_MAIN(TestRealWindow)
#include "tst_realwindow.moc"
