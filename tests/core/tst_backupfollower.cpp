// SPDX-License-Identifier: GPL-3.0-or-later
// A backup board following a main one, with fake players: converging to the main's states,
// the presses refused meanwhile, Stop All, the main lost and back; and the state's frame.
#include "core/BackupFollower.h"
#include "core/ShowLayers.h"
#include "fakes/ShowFixture.h"
#include "platform/Guard.h"
#include "platform/Timer.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBackupFollower : public QObject, ShowFixture {
    Q_OBJECT

    static constexpr qint64 Start = 1'000'000;
    qint64 m_now = Start;
    std::unique_ptr<BackupFollower> m_follower;
    QHash<QString, QString> m_news; ///< by topic: the news the show holds

    /// "1@12.5pf2v-800": slot 1 of the first sheet, 12.5 s in, paused, fading at speed 2, its
    /// fade down to -8 dB.
    static MainState::Sound soundOf(const QString& written)
    {
        static const QRegularExpression form(u"^(\\d+)@([\\d.]+)(p?)(?:f(\\d))?(?:v(-?\\d+))?$"_s);
        const QRegularExpressionMatch m = form.match(written);
        MainState::Sound s;
        s.sheet = 0;
        s.slot = m.captured(1).toInt();
        s.position = m.captured(2).toDouble();
        s.paused = !m.captured(3).isEmpty();
        s.fadeSpeed = m.captured(4).toInt();
        s.volume = m.captured(5).toInt();
        return s;
    }

    /// A main state: "song=1@12.5pf2 queue=2,3 layers=3@1,5@0p shown=2 master=-6 age=40",
    /// on the first sheet; taken `age` ms ago.
    [[nodiscard]] MainState stateOf(const QString& written) const
    {
        MainState s;
        s.takenMs = m_now;
        for (const QString& token : written.split(u' ', Qt::SkipEmptyParts)) {
            const QString key = token.section(u'=', 0, 0);
            const QString value = token.section(u'=', 1);
            if (key == "song"_L1) {
                s.song = soundOf(value);
            } else if (key == "queue"_L1) {
                for (const QString& k : value.split(u','))
                    s.queue.append({0, k.toInt()});
            } else if (key == "layers"_L1) {
                for (const QString& layer : value.split(u','))
                    s.layers.append(soundOf(layer));
            } else if (key == "shown"_L1) {
                s.shownSheet = value.toInt();
            } else if (key == "master"_L1) {
                s.masterLevel = value.toDouble();
            } else if (key == "age"_L1) {
                s.takenMs = m_now - value.toLongLong();
            }
        }
        return s;
    }

    /// What the board shows, as a main board would send it.
    [[nodiscard]] static QString text(const MainState& s)
    {
        const auto sound = [](const MainState::Sound& x) {
            return u"%1@%2%3%4%5"_s.arg(x.slot)
                .arg(x.position, 0, 'f', 2)
                .arg(x.paused ? u"p"_s : QString(), x.fadeSpeed ? u"f%1"_s.arg(x.fadeSpeed) : QString(),
                     x.volume ? u"v%1"_s.arg(x.volume) : QString());
        };
        QStringList queue;
        for (const MainState::Slot& q : s.queue)
            queue << QString::number(q.slot);
        QStringList layers;
        for (const MainState::Sound& l : s.layers)
            layers << sound(l);
        const auto list = [](const QStringList& l) { return l.isEmpty() ? u"-"_s : l.join(u' '); };
        return u"song %1 · queue %2 · layers %3 · shown %4 · master %5"_s.arg(
            s.song.plays() ? sound(s.song) : u"-"_s, list(queue), list(layers), QString::number(s.shownSheet),
            QString::number(s.masterLevel));
    }

    [[nodiscard]] QString boardText() const { return text(BackupFollower::stateOf(*m_core, m_now)); }

    /// Songs started since the log was cleared, the layers' included (a layer's player gone
    /// started once).
    [[nodiscard]] int starts() const
    {
        int n = static_cast<int>(m_player->log.filter(u"FileName="_s).size());
        for (const auto& player : m_layerPlayers.players)
            n += player ? static_cast<int>(player->log.filter(u"FileName="_s).size()) : 1;
        return n;
    }

    /// Steps separated by " | ": "main <state>", "pos <seconds>" (where the show's song is
    /// here), "end" (it ends by itself), "wait <ms>" (the clock goes on), "press <slot>".
    void run(const QString& steps)
    {
        for (const QString& step : steps.split(u" | "_s, Qt::SkipEmptyParts)) {
            const QString what = step.section(u' ', 0, 0);
            const QString rest = step.section(u' ', 1);
            guard([&] {
                if (what == "main"_L1)
                    m_follower->take(stateOf(rest));
                else if (what == "pos"_L1)
                    m_player->setPosition(rest.toDouble());
                else if (what == "end"_L1)
                    m_player->finish();
                else if (what == "wait"_L1)
                    m_now += rest.toLongLong();
                else if (what == "press"_L1)
                    m_core->press(0, rest.toInt(), PressedBy::Mouse);
                else
                    QFAIL(qPrintable(u"unknown step "_s + step));
            });
            settle();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    void setLayer(int k)
    {
        ButtonSettings s;
        s.layer = true;
        m_core->songInfo().setButtonSettings(0, k, s);
    }

private Q_SLOTS:
    void init()
    {
        setUp();
        m_now = Start;
        putSong(m_core->songInfo(), 0, 5, u"E"_s, makeFile(u"e.wav"_s));
        setLayer(3);
        setLayer(5);
        m_core->refresh();
        m_news.clear();
        connect(m_core.get(), &ShowCore::newsSaid, this,
                [this](const QString& topic, const QString& text) { m_news.insert(topic, text); });
        connect(m_core.get(), &ShowCore::newsCleared, this,
                [this](const QString& topic) { m_news.remove(topic); });
        m_follower = std::make_unique<BackupFollower>(*m_core, [this] { return m_now; });
    }

    void cleanup()
    {
        m_follower.reset();
        tearDown();
    }

    void followingConvergesTheShowToTheMain_data()
    {
        QTest::addColumn<QString>("before"); // this board's own steps before it follows
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("board");
        QTest::addColumn<int>("starts");
        QTest::addColumn<QString>("link");

        const QString idle = u"song - · queue - · layers - · shown 0 · master 0"_s;
        QTest::newRow("from idle, the main's song")
            << QString() << u"main song=1@0"_s << u"song 1@0.00 · queue - · layers - · shown 0 · master 0"_s
            << 1 << u"Backup in step"_s;
        QTest::newRow("a late join starts at the main's position, the link's delay allowed")
            << QString() << u"main song=1@12.5 age=40"_s
            << u"song 1@12.54 · queue - · layers - · shown 0 · master 0"_s << 1
            << u"Backup 12540 ms behind"_s;
        QTest::newRow("in step: left to play")
            << QString() << u"main song=1@10 | pos 10.03 | main song=1@10.05"_s
            << u"song 1@10.03 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("drifted beyond the tolerance: moved to the main's position")
            << QString() << u"main song=1@10 | pos 10.2 | main song=1@10.05"_s
            << u"song 1@10.05 · queue - · layers - · shown 0 · master 0"_s << 2 << u"Backup in step"_s;
        QTest::newRow("a slow link: in step, but behind the main")
            << QString() << u"main song=1@10 | pos 10.12 | main song=1@10 age=120"_s
            << u"song 1@10.12 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup 120 ms behind"_s;
        QTest::newRow("states lost between: the next one is enough")
            << QString() << u"main song=1@5 | wait 3000 | main song=2@1 queue=0"_s
            << u"song 2@1.00 · queue 0 · layers - · shown 0 · master 0"_s << 2 << u"Backup 1000 ms behind"_s;
        QTest::newRow("what played here before gives way")
            << u"press 0"_s << u"main song=1@3"_s
            << u"song 1@3.00 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup 3000 ms behind"_s;
        QTest::newRow("a main's song not in this show: what played here stops")
            << u"press 0"_s << u"main song=7@1"_s << idle << 0 << u"Backup in step"_s;
        QTest::newRow("the main stops: stopped here, nothing follows")
            << QString() << u"main song=1@3 queue=2 | main"_s << idle << 1 << u"Backup in step"_s;
        QTest::newRow("the main stops with songs waiting: they wait here")
            << QString() << u"main song=1@3 | main queue=2,0"_s
            << u"song - · queue 2 0 · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("paused from its start")
            << QString() << u"main song=1@3p"_s << u"song 1@3.00p · queue - · layers - · shown 0 · master 0"_s
            << 1 << u"Backup 3000 ms behind"_s;
        QTest::newRow("paused, then resumed where it was")
            << QString() << u"main song=1@3 | main song=1@3p | main song=1@3"_s
            << u"song 1@3.00 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("the queue, which goes on by itself here")
            << QString() << u"main song=0@2 queue=1,2 | end"_s
            << u"song 1@0.00 · queue 2 · layers - · shown 0 · master 0"_s << 2 << u"Backup 2000 ms behind"_s;
        QTest::newRow("the song here ended first: the next plays on, as the main goes on into it")
            << QString() << u"main song=0@2 queue=1,2 | end | main song=0@60.98 queue=1,2"_s
            << u"song 1@0.00 · queue 2 · layers - · shown 0 · master 0"_s << 2 << u"Backup in step"_s;
        QTest::newRow("the next song here, but well into it: the main's song again")
            << QString() << u"main song=0@2 queue=1,2 | end | pos 0.6 | main song=0@60.98 queue=1,2"_s
            << u"song 0@60.98 · queue 1 2 · layers - · shown 0 · master 0"_s << 3
            << u"Backup 60980 ms behind"_s;
        QTest::newRow("the same song from another slot")
            << QString() << u"main song=4@2"_s << u"song 4@2.00 · queue - · layers - · shown 0 · master 0"_s
            << 1 << u"Backup 2000 ms behind"_s;
        QTest::newRow("layers at their positions, one paused")
            << QString() << u"main song=0@1 layers=3@2,5@0.5p | main song=0@1 layers=3@2,5@0.5p"_s
            << u"song 0@1.00 · queue - · layers 3@2.00 5@0.50p · shown 0 · master 0"_s << 3
            << u"Backup in step"_s;
        QTest::newRow("a layer the main no longer plays stops")
            << QString() << u"main layers=3@2,5@1 | main layers=5@1"_s
            << u"song - · queue - · layers 5@1.00 · shown 0 · master 0"_s << 2 << u"Backup in step"_s;
        QTest::newRow("the shown sheet and the master level")
            << QString() << u"main shown=2 master=-6"_s
            << u"song - · queue - · layers - · shown 2 · master -6"_s << 0 << u"Backup in step"_s;
        QTest::newRow("a layer's fade at the main's speed")
            << QString() << u"main layers=3@2,5@1 | main layers=3@2f4,5@1"_s
            << u"song - · queue - · layers 3@2.00f4 5@1.00 · shown 0 · master 0"_s << 2
            << u"Backup in step"_s;
        QTest::newRow("a fade at the main's speed")
            << QString() << u"main song=0@1 | main song=0@1f2"_s
            << u"song 0@1.00f2 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("a fade joined late, at the main's level")
            << QString() << u"main song=0@1f2v-2000"_s
            << u"song 0@1.00f2v-2000 · queue - · layers - · shown 0 · master 0"_s << 1
            << u"Backup 1000 ms behind"_s;
        QTest::newRow("a fade a step from the main's keeps its own steps")
            << QString() << u"main song=0@1f2v-2000 | main song=0@1f2v-2400"_s
            << u"song 0@1.00f2v-2000 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("a fade whose steps were missed catches up")
            << QString() << u"main song=0@1f2v-2000 | main song=0@1f2v-2900"_s
            << u"song 0@1.00f2v-2900 · queue - · layers - · shown 0 · master 0"_s << 1 << u"Backup in step"_s;
        QTest::newRow("a layer's fade joined late, at the main's level")
            << QString() << u"main layers=3@2f4v-1000"_s
            << u"song - · queue - · layers 3@2.00f4v-1000 · shown 0 · master 0"_s << 1
            << u"Backup 2000 ms behind"_s;
    }

    void followingConvergesTheShowToTheMain()
    {
        QFETCH(QString, before);
        QFETCH(QString, steps);
        QFETCH(QString, board);
        QFETCH(int, starts);
        QFETCH(QString, link);

        run(before);
        m_player->log.clear();
        m_follower->follow();
        run(steps);
        QCOMPARE(boardText(), board);
        QCOMPARE(this->starts(), starts);
        QCOMPARE(m_follower->linkText(), link);
        QVERIFY(m_news.isEmpty());
    }

    void aLateJoinStartsItsSoundsAtTheMainsPosition()
    {
        m_follower->follow();
        run(u"main song=1@12.5 layers=3@4 age=40"_s);
        QCOMPARE(m_player->log.filter(u"FileName="_s),
                 QStringList{u"FileName="_s + m_files[1] + u"@12.54"_s});
        QCOMPARE(m_layerPlayers.players.value(0)->log.filter(u"FileName="_s),
                 QStringList{u"FileName="_s + m_files[3] + u"@4.04"_s});
    }

    void aSongInStepIsNudgedOntoTheMainsPlace_data()
    {
        QTest::addColumn<double>("behind");
        QTest::addColumn<int>("states");
        QTest::addColumn<QStringList>("log");
        const int n = BackupFollower::NudgeAfter;
        QTest::newRow("8 ms behind") << 0.008 << n << QStringList{u"Nudge=8.0"_s};
        QTest::newRow("5 ms ahead") << -0.005 << n << QStringList{u"Nudge=-5.0"_s};
        QTest::newRow("too few states to tell") << 0.008 << n - 1 << QStringList{};
        QTest::newRow("2 ms off is in place") << 0.002 << n << QStringList{};
        QTest::newRow("measured again after a nudge") << 0.008 << 2 * n - 1 << QStringList{u"Nudge=8.0"_s};
    }

    void aSongInStepIsNudgedOntoTheMainsPlace()
    {
        QFETCH(double, behind);
        QFETCH(int, states);
        QFETCH(QStringList, log);
        m_follower->follow();
        run(u"main song=1@10"_s);
        m_player->log.clear();
        for (int i = 1; i <= states; ++i)
            run(u"wait 250 | pos %1 | main song=1@%2"_s.arg(10 + 0.25 * i - behind, 0, 'f', 4)
                    .arg(10 + 0.25 * i, 0, 'f', 4));
        QCOMPARE(m_player->log, log); // never started again
    }

    void pressesHereAreRefusedWhileFollowing_data()
    {
        QTest::addColumn<QString>("press");
        for (const char* press : {"press mouse", "press key", "press midi",    "press osc",  "press web",
                                  "queue",       "release",   "play",          "stopSong",   "pause",
                                  "fade",        "fadeAll",   "stopSound",     "showSheet",  "master",
                                  "PlayClick",   "StopClick", "StopSongClick", "PauseClick", "FadeClick"})
            QTest::newRow(press) << QString::fromLatin1(press);
    }

    void pressesHereAreRefusedWhileFollowing()
    {
        QFETCH(QString, press);
        m_follower->follow();
        run(u"main song=0@1 queue=1 layers=3@1"_s);
        const QString board = boardText();
        const int started = starts();

        guard([&] {
            ShowCore& c = *m_core;
            const QHash<QString, std::function<void()>> presses{
                {u"press mouse"_s, [&] { c.press(0, 2, PressedBy::Mouse); }},
                {u"press key"_s, [&] { c.press(0, 2, PressedBy::Key); }},
                {u"press midi"_s, [&] { c.press(0, 2, PressedBy::Midi); }},
                {u"press osc"_s, [&] { c.press(0, 2, PressedBy::Osc); }},
                {u"press web"_s, [&] { c.press(0, 2, PressedBy::Web); }},
                {u"queue"_s, [&] { c.queue(0, 2, PressedBy::Web); }},
                {u"release"_s, [&] { c.release(0, 3, PressedBy::Mouse); }},
                {u"play"_s, [&] { c.play(); }},
                {u"stopSong"_s, [&] { c.stopSong(); }},
                {u"pause"_s, [&] { c.pause(); }},
                {u"fade"_s, [&] { c.fade(1); }},
                {u"fadeAll"_s, [&] { c.fadeAll(1); }},
                {u"stopSound"_s, [&] { c.stopSound(1); }},
                {u"showSheet"_s, [&] { c.showSheet(4); }},
                {u"master"_s, [&] { c.setMasterLevel(-20); }},
                {u"PlayClick"_s, [&] { c.PlayClick(); }},
                {u"StopClick"_s, [&] { c.StopClick(); }},
                {u"StopSongClick"_s, [&] { c.StopSongClick(); }},
                {u"PauseClick"_s, [&] { c.PauseClick(); }},
                {u"FadeClick"_s, [&] { c.FadeClick(); }},
            };
            presses.value(press)();
        });
        settle();
        QCOMPARE(boardText(), board); // a fade begun shows as its speed
        QCOMPARE(starts(), started);
        QCOMPARE(m_news.value(ShowCore::FollowNews), u"Following the main board: presses here are refused"_s);
        QVERIFY(m_follower->following());
    }

    void stopAllHereStopsEverythingAndEndsTheFollowing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("main"); // what plays
        QTest::newRow("its command, a song and a layer") << u"stopAll"_s << u"song=0@1 queue=1 layers=3@1"_s;
        QTest::newRow("the menu's") << u"StopAllClick"_s << u"song=0@1 queue=1"_s;
        QTest::newRow("its key") << u"key"_s << u"layers=3@1"_s;
        QTest::newRow("with nothing playing") << u"stopAll"_s << QString();
    }

    void stopAllHereStopsEverythingAndEndsTheFollowing()
    {
        QFETCH(QString, how);
        QFETCH(QString, main);
        m_follower->follow();
        run(u"main "_s + main);
        guard([&] {
            if (how == "stopAll"_L1)
                m_core->stopAll();
            else if (how == "StopAllClick"_L1)
                m_core->StopAllClick();
            else
                m_core->runCommand(KeyCommand::StopAll);
        });
        settle();
        const QString idle = u"song - · queue - · layers - · shown 0 · master 0"_s;
        QCOMPARE(boardText(), idle);
        QVERIFY(!m_follower->following());
        QVERIFY(!m_core->following());
        QCOMPARE(m_follower->linkText(), QString());
        QCOMPARE(m_news.value(ShowCore::FollowNews),
                 u"Stop All: this board no longer follows the main board"_s);
        // The main's states no longer reach the show, and its own presses play again.
        run(u"main song=1@5"_s);
        QCOMPARE(boardText(), idle);
        run(u"press 2"_s);
        QCOMPARE(m_core->nowPlaying().slot, 2);
    }

    void aSilentMainIsLostAndFollowedAgainOnlyWhenAsked()
    {
        m_follower->setSilence(30);
        m_follower->follow();
        run(u"main song=0@1 queue=1 | press 2"_s);
        QVERIFY(m_news.contains(ShowCore::FollowNews));
        QTRY_COMPARE(m_news.value(BackupFollower::LinkNews), u"Main board lost"_s);
        QVERIFY(!m_core->following());
        QVERIFY(!m_news.contains(ShowCore::FollowNews));
        QVERIFY(m_follower->mainLost());
        QCOMPARE(m_follower->linkText(), QString());
        // It plays on, its queue going on as if this board ran the show.
        QCOMPARE(boardText(), u"song 0@1.00 · queue 1 · layers - · shown 0 · master 0"_s);
        run(u"end"_s);
        QCOMPARE(m_core->nowPlaying().slot, 1);
        // The main returns: said, and not followed.
        run(u"main song=2@4"_s);
        QCOMPARE(m_news.value(BackupFollower::LinkNews),
                 u"Main board is back: choose Follow to follow it again"_s);
        QCOMPARE(m_core->nowPlaying().slot, 1);
        run(u"press 2"_s);
        QCOMPARE(m_core->nowPlaying().slot, 2);
        // Until the operator follows it again.
        m_follower->follow();
        QVERIFY(!m_news.contains(BackupFollower::LinkNews));
        run(u"main song=0@4"_s);
        QCOMPARE(boardText(), u"song 0@4.00 · queue - · layers - · shown 0 · master 0"_s);
    }

    void aMainThatReturnsInStepIsFollowedOn()
    {
        // A link held up for a second by lost packets: the main ran on as this board did.
        m_follower->setSilence(30);
        m_follower->follow();
        run(u"main song=0@1 queue=1"_s);
        QTRY_COMPARE(m_news.value(BackupFollower::LinkNews), u"Main board lost"_s);
        run(u"main song=0@1 queue=1"_s);
        QVERIFY(m_core->following());
        QCOMPARE(m_follower->linkText(), u"Backup in step"_s);
        QCOMPARE(m_news.value(BackupFollower::LinkNews),
                 u"Main board is back, in step: following it again"_s);
        // Lost again, and back with its queue changed meanwhile: not followed.
        QTRY_COMPARE(m_news.value(BackupFollower::LinkNews), u"Main board lost"_s);
        run(u"main song=0@1 queue=2"_s);
        QVERIFY(!m_core->following());
        QCOMPARE(boardText(), u"song 0@1.00 · queue 1 · layers - · shown 0 · master 0"_s);
    }

    void aMainsSongThatCannotPlayHereIsNewsAndNotTriedAgain()
    {
        run(u"press 0"_s); // what played here before
        m_player->log.clear();
        m_player->unplayable << m_files[1];
        QSignalSpy failed(m_core.get(), &Board::pressFailed);
        QSignalSpy boxed(m_core.get(), &ShowCore::missingSongPressed);
        m_follower->follow();
        run(u"main song=1@2 | main song=1@2.25"_s);
        QCOMPARE(m_player->log.filter(u"FileName="_s).size(), 1);
        QVERIFY(
            m_news.value(ShowCore::FollowNews).startsWith(u"The main board's song does not play here: "_s));
        QCOMPARE(failed.size() + boxed.size(), 0);            // nobody pressed here: no box, no press failed
        QCOMPARE(m_core->playState(), TPlayState::psStopped); // not the main's song: it stopped
        run(u"main song=2@0"_s);
        QCOMPARE(m_core->nowPlaying().slot, 2);
    }

    void aStateAfterTheShowEndedIsLeftAlone()
    {
        m_follower->follow();
        m_core->end();
        run(u"main song=1@2 layers=3@1"_s);
        QVERIFY(m_player->log.filter(u"FileName="_s).isEmpty());
    }

    void theStatesFrameCarriesItWithin_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("state"); // empty: not a state
        QTest::newRow("all of it")
            << R"({"t":"state","song":{"sheet":0,"slot":1,"position":2.5,"paused":true,"fade":2,"volume":-1200},"queue":[[0,2],[0,3]],"layers":[{"sheet":0,"slot":5,"position":1,"fade":9,"volume":-99999}],"shown":3,"master":-6.5,"taken":77})"_ba
            << u"song 1@2.50pf2v-1200 · queue 2 3 · layers 5@1.00f5v-10000 · shown 3 · master -6.5"_s;
        QTest::newRow("slots off the board are dropped, levels held")
            << R"({"t":"state","song":{"sheet":10,"slot":1},"queue":[[0,36],[1,-1],[0,4]],"layers":[{"sheet":0,"slot":99}],"shown":12,"master":-100})"_ba
            << u"song - · queue 4 · layers - · shown 9 · master -60"_s;
        QTest::newRow("another frame") << R"({"t":"time","position":1})"_ba << QString();
    }

    void theStatesFrameCarriesItWithin()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, state);
        const auto read = MainState::fromJson(QJsonDocument::fromJson(frame).object());
        QCOMPARE(read.has_value(), !state.isEmpty());
        if (!read)
            return;
        QCOMPARE(text(*read), state);
        QCOMPARE(MainState::fromJson(read->toJson()), read); // what the main sends, the backup reads
    }
};

QTEST_GUILESS_MAIN(TestBackupFollower)
#include "tst_backupfollower.moc"
