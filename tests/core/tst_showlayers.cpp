// SPDX-License-Identifier: GPL-3.0-or-later
// Sounds over the show's song: layer buttons, their second presses, the commands that reach
// them, the cap, ducking and the master level, with fake players.
#include "core/ShowLayers.h"
#include "fakes/ShowFixture.h"
#include "platform/Guard.h"
#include "platform/IniRegistry.h"
#include "platform/Timer.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(PressedBy)

using namespace Qt::StringLiterals;

class TestShowLayers : public QObject, ShowFixture {
    Q_OBJECT

    QHash<QString, QString> m_news; ///< by topic: the news the show holds
    int m_newsSaid = 0;             ///< how often the show said anything

    /// Slot `k` of the first sheet plays over the show.
    void setLayer(int k, ButtonSettings::Mode mode = ButtonSettings::Mode::Restart, double duckDb = 0.0,
                  const QString& output = {}, int firstChannel = 0)
    {
        ButtonSettings s;
        s.mode = mode;
        s.layer = true;
        s.duckDb = duckDb;
        s.output = output;
        s.firstChannel = firstChannel;
        m_core->songInfo().setButtonSettings(0, k, s);
    }

    /// The player of the `n`th layer started (from 0).
    [[nodiscard]] FakeMediaPlayer* layer(int n) const { return m_layerPlayers.players.value(n).data(); }

    /// One step: a command, a press, or what a player does by itself; a step ending in a number
    /// acts on that slot of the first sheet (`end` and `stop` on that layer).
    void run(const QString& step)
    {
        static const QRegularExpression withNumber(u"^([a-z]+)(\\d+)$"_s);
        const QRegularExpressionMatch m = withNumber.match(step);
        const QString what = m.hasMatch() ? m.captured(1) : step;
        const int k = m.captured(2).toInt();
        guard([&] {
            if (what == "press"_L1)
                m_core->press(0, k, PressedBy::Mouse);
            else if (what == "release"_L1)
                m_core->release(0, k, PressedBy::Mouse);
            else if (what == "shift"_L1)
                m_core->queue(0, k, PressedBy::Mouse);
            else if (what == "end"_L1)
                layer(k)->finish();
            else if (what == "stop"_L1)
                m_core->stopSound(k);
            else if (what == "showend"_L1)
                m_player->finish();
            else if (what == "stopsong"_L1)
                m_core->stopSong();
            else if (what == "stopall"_L1)
                m_core->stopAll();
            else if (what == "pause"_L1)
                m_core->pause();
            else if (what == "play"_L1)
                m_core->play();
            else if (what == "audition"_L1)
                m_core->setAudition(true);
            else
                QFAIL(qPrintable(u"unknown step "_s + step));
        });
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the players let go of
    }

    void runAll(const QString& steps)
    {
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            run(step);
    }

    /// The layers of playing() by slot, "p" after a paused one.
    [[nodiscard]] QString layersText() const
    {
        QStringList out;
        for (const PlayingSound& s : m_core->playing())
            if (s.isLayer())
                out << QString::number(s.slot) + (s.paused ? u"p"_s : QString());
        return out.join(QLatin1Char(' '));
    }

    /// The show's song: "-", its slot, and " paused".
    [[nodiscard]] QString showText() const
    {
        if (m_core->playState() == TPlayState::psStopped)
            return u"-"_s;
        return QString::number(m_core->nowPlaying().slot) +
               (m_core->playState() == TPlayState::psPaused ? u" paused"_s : QString());
    }

    [[nodiscard]] static double dbOf(double gain) { return std::round(20.0 * std::log10(gain) * 100) / 100; }

private Q_SLOTS:
    void init()
    {
        setUp();
        m_news.clear();
        m_newsSaid = 0;
        connect(m_core.get(), &ShowCore::newsSaid, this, [this](const QString& topic, const QString& text) {
            m_news.insert(topic, text);
            ++m_newsSaid;
        });
        connect(m_core.get(), &ShowCore::newsCleared, this,
                [this](const QString& topic) { m_news.remove(topic); });
    }

    void cleanup() { tearDown(); }

    void pressesAndCommandsReachTheLayersAsTheyShould_data()
    {
        QTest::addColumn<int>("mode"); // of the layer buttons 0 and 2; 1 and 3 play as the show's song
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("show");   // the show's song: "-", its slot, " paused"
        QTest::addColumn<QString>("layers"); // by slot, in start order, "p" when paused
        QTest::addColumn<int>("made");       // the layer players handed out
        const int restart = int(ButtonSettings::Mode::Restart);
        const int toggle = int(ButtonSettings::Mode::Toggle);
        const int hold = int(ButtonSettings::Mode::Hold);
        const auto row = [](const char* name, int mode, const char* steps, const char* show,
                            const char* layers, int made) {
            QTest::newRow(name) << mode << QString::fromLatin1(steps) << QString::fromLatin1(show)
                                << QString::fromLatin1(layers) << made;
        };
        row("a layer over the show's song", restart, "press1 press0", "1", "0", 1);
        row("the show's press leaves the layer", restart, "press0 press1 press3", "3", "0", 1);
        row("layers in the order they started", restart, "press2 press0", "-", "2 0", 2);
        row("restart: a second press plays it again", restart, "press0 press0", "-", "0", 1);
        row("restart: its release does nothing", restart, "press0 release0", "-", "0", 1);
        row("toggle: a second press stops it", toggle, "press0 press0", "-", "", 1);
        row("toggle: a third press plays it again", toggle, "press0 press0 press0", "-", "0", 2);
        row("hold: the release stops it", hold, "press0 release0", "-", "", 1);
        row("hold: another slot's release", hold, "press0 release2 release1", "-", "0", 1);
        row("Shift+press plays as a layer, never queues", restart, "shift0 shift1", "-", "0", 1);
        row("Stop Song leaves the layers", restart, "press1 press0 stopsong", "-", "0", 1);
        row("Stop All stops them too", restart, "press1 press0 press2 stopall", "-", "", 2);
        row("Stop All with only layers", restart, "press0 press2 stopall", "-", "", 2);
        row("Pause pauses everything", restart, "press1 press0 pause", "1 paused", "0p", 1);
        row("Play resumes everything", restart, "press1 press0 pause play", "1", "0", 1);
        row("Pause with only layers", restart, "press0 press2 pause", "-", "0p 2p", 2);
        row("Pause again resumes the layers alone", restart, "press0 pause pause", "-", "0", 1);
        row("a layer started while paused; Pause", restart, "press1 pause press0 pause", "1 paused", "0p", 1);
        row("a layer ends by itself", restart, "press0 press2 end0", "-", "2", 2);
        row("the show's song ends, the layers play on", restart, "press1 press0 showend", "-", "0", 1);
        row("stopSound a layer", restart, "press0 press2 stop2", "-", "0", 2);
        row("stopSound 0 is Stop Song", restart, "press1 press0 stop0", "-", "0", 1);
        row("a layer ended is gone for stopSound", restart, "press0 end0 press0 stop1", "-", "0", 2);
        row("Audition previews a layer button", restart, "audition press0", "-", "", 0);
    }

    void pressesAndCommandsReachTheLayersAsTheyShould()
    {
        QFETCH(int, mode);
        QFETCH(QString, steps);
        QFETCH(QString, show);
        QFETCH(QString, layers);
        QFETCH(int, made);
        setLayer(0, ButtonSettings::Mode(mode));
        setLayer(2, ButtonSettings::Mode(mode));
        runAll(steps);
        QCOMPARE(showText(), show);
        QCOMPARE(layersText(), layers);
        QCOMPARE(m_layerPlayers.players.size(), made);
        QCOMPARE(m_errors->messages, QStringList{});
        // A layer never joins the queue; what stopped is gone.
        QVERIFY(!m_core->PlayQueue.contains(m_files[0]) && !m_core->PlayQueue.contains(m_files[2]));
        QVERIFY(!m_core->QueueMode);
        if (!steps.startsWith("audition"_L1)) // Stop All stops an audition too
            QCOMPARE(m_core->transport().stopAll, show != "-"_L1 || !layers.isEmpty());
        for (const auto& player : std::as_const(m_layerPlayers.players))
            QVERIFY(!player || player->playState() != MediaPlayer::Stopped);
        if (steps.contains("press0 press0"_L1) &&
            mode == int(ButtonSettings::Mode::Restart)) // played again from its start
            QCOMPARE(layer(0)->log.filter(u"FileName="_s).size(), 2);
        if (steps.startsWith("audition"_L1))
            QCOMPARE(m_preview.path, m_files[0]);
    }

    void layersLeaveTheShowsSongAndTheQueueAlone()
    {
        setLayer(0);
        setLayer(2, ButtonSettings::Mode::Hold);
        runAll(u"shift1 shift3"_s); // the queue waits
        m_player->log.clear();
        QSignalSpy state(m_core.get(), &Board::playStateChanged);
        QSignalSpy now(m_core.get(), &Board::nowPlayingChanged);
        QSignalSpy time(m_core.get(), &Board::timeChanged);
        QSignalSpy status(m_core.get(), &ShowCore::statusChanged);
        QSignalSpy slots(m_core.get(), &Board::slotChanged);
        runAll(u"press0 press2 pause pause release2 stopall"_s);
        QTest::qWait(300); // the clock ticks for the layers
        QCOMPARE(state.count() + now.count() + time.count() + status.count(), 0);
        QCOMPARE(m_core->PlayQueue, (QStringList{m_files[1], m_files[3]}));
        QVERIFY(m_core->transport().play);
        QCOMPARE(m_player->log, QStringList{}); // the show's player heard nothing
        // Only the layers' slots changed colour: green, and back.
        QList<QPair<int, SlotState>> told;
        for (const QList<QVariant>& args : std::as_const(slots))
            told.append({args[1].toInt(), args[2].value<SlotState>()});
        QCOMPARE(told, (QList<QPair<int, SlotState>>{{0, SlotState::Playing},
                                                     {2, SlotState::Playing},
                                                     {2, SlotState::Filled},
                                                     {0, SlotState::Filled}}));
    }

    void aLayerSlotIsGreenWhileItPlaysAndTheQueueKeepsItsColours()
    {
        setLayer(0);
        runAll(u"press1 press0"_s);
        // Slot 4 holds A too, but only the slot pressed plays it.
        QCOMPARE(states(5), (QList<SlotState>{SlotState::Playing, SlotState::Playing, SlotState::Filled,
                                              SlotState::Filled, SlotState::Filled}));
        runAll(u"end0 shift3"_s);
        QCOMPARE(states(5), (QList<SlotState>{SlotState::Filled, SlotState::Playing, SlotState::Filled,
                                              SlotState::Next, SlotState::Filled}));
        QVERIFY(!layer(0)); // deleted once its song ended
    }

    void theSeventeenthLayerIsRefusedAndSaidOnce()
    {
        for (int k = 0; k < 18; ++k) {
            putSong(m_core->songInfo(), 1, k, u"S%1"_s.arg(k), m_files[k % 3]);
            ButtonSettings s;
            s.layer = true;
            m_core->songInfo().setButtonSettings(1, k, s);
        }
        for (int k = 0; k < 16; ++k)
            m_core->press(1, k, PressedBy::Mouse);
        QCOMPARE(m_newsSaid, 0);
        m_core->press(1, 16, PressedBy::Mouse);
        m_core->press(1, 17, PressedBy::Osc);
        QCOMPARE(m_layerPlayers.players.size(), 16);
        QCOMPARE(m_newsSaid, 1);
        QCOMPARE(m_news.value(ShowLayers::FullNews),
                 u"16 sounds play over the show: stop one to start another"_s);
        QCOMPARE(m_core->playing().size(), 16); // nothing stopped to make room
        layer(3)->finish();
        settle();
        QVERIFY(!m_news.contains(ShowLayers::FullNews));
        m_core->press(1, 16, PressedBy::Mouse);
        m_core->press(1, 17, PressedBy::Mouse);
        QCOMPARE(m_layerPlayers.players.size(), 17);
        QCOMPARE(m_newsSaid, 2); // said again after one ended
        QCOMPARE(m_core->slotState(1, 16), SlotState::Playing);
        QCOMPARE(m_core->slotState(1, 17), SlotState::Filled);
    }

    void aLayerThatCannotPlayFailsAsAPress_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<PressedBy>("by");
        QTest::addColumn<int>("boxes");    // missingSongPressed
        QTest::addColumn<int>("reported"); // errors gone to the reporter
        QTest::addColumn<bool>("news");
        QTest::newRow("missing, mouse") << u"missing"_s << PressedBy::Mouse << 1 << 0 << false;
        QTest::newRow("missing, OSC") << u"missing"_s << PressedBy::Osc << 0 << 0 << true;
        QTest::newRow("undecodable, key") << u"undecodable"_s << PressedBy::Key << 0 << 1 << false;
        QTest::newRow("undecodable, web") << u"undecodable"_s << PressedBy::Web << 0 << 0 << true;
    }

    void aLayerThatCannotPlayFailsAsAPress()
    {
        QFETCH(QString, how);
        QFETCH(PressedBy, by);
        QFETCH(int, boxes);
        QFETCH(int, reported);
        QFETCH(bool, news);
        setLayer(2);
        setLayer(0);
        runAll(u"press1 press0"_s);
        if (how == "missing"_L1)
            QFile::remove(m_files[2]);
        else
            m_layerPlayers.unplayable << m_files[2];
        QSignalSpy failed(m_core.get(), &Board::pressFailed);
        QSignalSpy boxed(m_core.get(), &ShowCore::missingSongPressed);
        guard([&] { m_core->press(0, 2, by); });
        settle();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(1).toInt(), 2);
        QCOMPARE(boxed.count(), boxes);
        QCOMPARE(m_errors->messages.size(), reported);
        QCOMPARE(m_news.contains(ShowCore::failedPressTopic({0, 2})), news);
        QCOMPARE(showText(), u"1"_s); // what played plays on
        QCOMPARE(layersText(), u"0"_s);
        QCOMPARE(m_core->slotState(0, 2), SlotState::Filled);
    }

    void cdTracksAndABoardWithoutLayerPlayersPlayAsTheShowsSong()
    {
        m_cd->tracks = 5;
        putSong(m_core->songInfo(), 0, 3, u"Track 2"_s, u"cdda://Track02.cda"_s);
        setLayer(3);
        run(u"press3"_s);
        QCOMPARE(m_layerPlayers.players.size(), 0);
        openShow(defaultStore(), nullptr, true, false);
        setLayer(0);
        run(u"press0"_s);
        QCOMPARE(showText(), u"0"_s);
        QCOMPARE(m_core->playing().size(), 1);
    }

    void fadeAllFadesWhatPlaysAsTheFadeDoes_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("chosen"); // FadeSetting
        QTest::addColumn<int>("ticks");  // to silence
        QTest::newRow("speed 1") << 1 << 3 << 12;
        QTest::newRow("speed 5") << 5 << 3 << 60;
        QTest::newRow("the chosen speed") << 0 << 2 << 15;
    }

    void fadeAllFadesWhatPlaysAsTheFadeDoes()
    {
        QFETCH(int, speed);
        QFETCH(int, chosen);
        QFETCH(int, ticks);
        setLayer(0);
        setLayer(2);
        m_core->FadeSetting = chosen;
        runAll(u"press1 press0"_s);
        m_core->fadeAll(speed);
        run(u"press2"_s); // started during the fade: not faded
        for (int k = 1; k < ticks; ++k) {
            m_core->FadeTimerTimer();
            m_core->layers().fadeTick();
        }
        QCOMPARE(layer(0)->volume(), m_player->volume());
        QCOMPARE(layersText(), u"0 2"_s);
        QCOMPARE(showText(), u"1"_s);
        m_core->FadeTimerTimer();
        m_core->layers().fadeTick();
        settle();
        QCOMPARE(showText(), u"-"_s);
        QCOMPARE(layersText(), u"2"_s);
        QCOMPARE(layer(1)->volumes, QList<int>{});
    }

    void duckingDipsTheOthersByTheDeepestOfThem_data()
    {
        QTest::addColumn<QList<double>>("ducks"); // of slots 0 (layer), 1 (show's song), 2 (layer)
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<double>>("gains"); // dB: the show's player, then the layers'
        QTest::addColumn<QString>("showRamps");   // the show's player's mix gain ramps
        const auto row = [](const char* name, QList<double> ducks, const char* steps, QList<double> gains,
                            const char* ramps) {
            QTest::newRow(name) << ducks << QString::fromLatin1(steps) << gains << QString::fromLatin1(ramps);
        };
        row("none ducks", {0, 0, 0}, "press1 press0 press2", {0, 0, 0}, "");
        row("a layer dips the show and the other", {10, 0, 0}, "press1 press0 press2", {-10, 0, -10}, "0.3");
        row("the show's song dips the layers", {0, 6, 0}, "press0 press1 press2", {0, -6, -6}, "");
        row("the deepest of the others", {10, 6, 20}, "press1 press0 press2", {-20, -20, -10}, "0.3 0.3");
        row("back up when it ends", {10, 0, 0}, "press1 press0 end0", {0}, "0.3 1");
        row("back up when it stops", {10, 0, 0}, "press1 press0 press2 stopall", {0}, "0.3 1");
        row("the show's song stops", {0, 6, 0}, "press0 press1 stopsong", {0, 0}, "");
    }

    void duckingDipsTheOthersByTheDeepestOfThem()
    {
        QFETCH(QList<double>, ducks);
        QFETCH(QString, steps);
        QFETCH(QList<double>, gains);
        QFETCH(QString, showRamps);
        setLayer(0, ButtonSettings::Mode::Restart, ducks[0]);
        ButtonSettings show;
        show.duckDb = ducks[1];
        m_core->songInfo().setButtonSettings(0, 1, show);
        setLayer(2, ButtonSettings::Mode::Restart, ducks[2]);
        runAll(steps);
        QList<double> told{dbOf(m_player->mixGain())};
        for (const auto& player : std::as_const(m_layerPlayers.players))
            if (player)
                told << dbOf(player->mixGain());
        QCOMPARE(told, gains);
        QStringList ramps;
        for (const auto& g : std::as_const(m_player->mixGains))
            ramps << QString::number(g.rampSeconds);
        QCOMPARE(ramps.join(QLatin1Char(' ')), showRamps);
        // A layer starts at its dipped gain at once.
        for (const auto& player : std::as_const(m_layerPlayers.players))
            if (player && !player->mixGains.isEmpty())
                QVERIFY(player->mixGains.first().rampSeconds == 0.0 || player->mixGains.first().gain > 0);
    }

    void theMasterLevelIsStoredHeldAndScalesEveryPlayerButThePreview_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("level");
        QTest::newRow("none") << QString() << 0.0;
        QTest::newRow("-12") << u"-12"_s << -12.0;
        QTest::newRow("below -60") << u"-80"_s << -60.0;
        QTest::newRow("above 0") << u"3"_s << 0.0;
        QTest::newRow("unreadable") << u"loud"_s << 0.0;
    }

    void theMasterLevelIsStoredHeldAndScalesEveryPlayerButThePreview()
    {
        QFETCH(QString, stored);
        QFETCH(double, level);
        closeShow();
        if (!stored.isEmpty()) {
            IniRegistry reg(m_env->configDir());
            QVERIFY(reg.OpenKey(u"Software\\Brasswold\\System"_s, true));
            reg.WriteString(u"MasterLevel"_s, stored);
            reg.CloseKey();
        }
        m_player->mixGains.clear();
        openShow(defaultStore());
        QCOMPARE(m_core->masterLevel(), level);
        QCOMPARE(dbOf(m_player->mixGain()), level);
        setLayer(0, ButtonSettings::Mode::Restart, 10);
        run(u"press0"_s);
        QCOMPARE(dbOf(layer(0)->mixGain()), level);
        QCOMPARE(dbOf(m_player->mixGain()), level - 10); // master times the dip

        QSignalSpy changed(m_core.get(), &Board::masterLevelChanged);
        m_core->setMasterLevel(-100);
        m_core->setMasterLevel(-60);
        m_core->setMasterLevel(std::nan(""));
        m_core->setMasterLevel(2);
        QCOMPARE(changed.count(), level == -60.0 ? 1 : 2); // a real change only: to -60, and to 0
        m_core->setMasterLevel(-6);
        QCOMPARE(layer(0)->mixGains.last().rampSeconds, 0.0);
        QCOMPARE(dbOf(layer(0)->mixGain()), -6.0);
        QCOMPARE(dbOf(m_player->mixGain()), -16.0);
        // A fader's moves are stored once it rests (each store is a file written), and at the end.
        const auto storedLevel = [this] {
            IniRegistry reg(m_env->configDir());
            return reg.OpenKey(u"Software\\Brasswold\\System"_s, false) ? reg.ReadString(u"MasterLevel"_s)
                                                                        : QString();
        };
        QVERIFY(storedLevel() != u"-6"_s);
        QTRY_COMPARE_WITH_TIMEOUT(storedLevel(), u"-6"_s, 3000);
        m_core->setMasterLevel(-7);
        closeShow();
        openShow(defaultStore());
        QCOMPARE(m_core->masterLevel(), -7.0);
    }

    void playingListsTheShowsSongThenTheLayersWithTheirOutputs()
    {
        m_outputs.devices = {{u"hdmi"_s, u"Monitor"_s, 8}};
        setLayer(0, ButtonSettings::Mode::Restart, 0, u"hdmi"_s, 5);
        setLayer(2, ButtonSettings::Mode::Restart, 0, ButtonSettings::PreviewOutput);
        setLayer(3, ButtonSettings::Mode::Restart, 0, u"usb"_s);
        m_player->durations.insert(m_files[1], 30);
        runAll(u"press1 press0 press2 press3"_s);
        layer(0)->setPosition(4);
        const QList<PlayingSound> sounds = m_core->playing();
        QCOMPARE(sounds.size(), 4);
        QCOMPARE(sounds[0], (PlayingSound{0, 0, 1, u"B"_s, 0, 30, false, {}}));
        QCOMPARE(sounds[1], (PlayingSound{1, 0, 0, u"A"_s, 4, 61, false, u"Monitor 5-6"_s}));
        QCOMPARE(sounds[2].output, u"Preview"_s);
        QCOMPARE(sounds[3].output, u"usb"_s);
        QCOMPARE(m_layerPlayers.routes[0], (OutputRoute{u"hdmi"_s, false, 5, 2}));
        QVERIFY(m_layerPlayers.routes[1].preview);

        // Told when it changes, and four times a second while only layers play.
        run(u"stopsong"_s);
        QSignalSpy told(m_core.get(), &Board::playingChanged);
        QTest::qWait(1100);
        QVERIFY(told.count() >= 4);
        QCOMPARE(told.last().first().value<QList<PlayingSound>>().size(), 3);
        run(u"stopall"_s);
        QVERIFY(told.last().first().value<QList<PlayingSound>>().isEmpty());
        told.clear();
        QTest::qWait(300);
        QCOMPARE(told.count(), 0); // nothing plays: the clock rests
    }

    void aMissingRouteIsSaidOnceAndClearedWhenBack()
    {
        const OutputRoute usb{u"usb"_s, false, 0, 2};
        QVERIFY(m_layerPlayers.routeMissing);
        m_layerPlayers.routeMissing(usb, u"The output usb is not there"_s, true);
        m_layerPlayers.routeMissing(usb, u"The output usb is not there"_s, true);
        QCOMPARE(m_newsSaid, 1);
        QCOMPARE(m_news.values(), QStringList{u"The output usb is not there"_s});
        m_layerPlayers.routeMissing(usb, QString(), false);
        QVERIFY(m_news.isEmpty());
    }

    void theShowsEndStopsTheLayers()
    {
        setLayer(0);
        run(u"press0"_s);
        QPointer<FakeMediaPlayer> player = layer(0);
        m_core->end();
        QVERIFY(!player);
        QVERIFY(!m_layerPlayers.routeMissing);
    }
};

QTEST_GUILESS_MAIN(TestShowLayers)
#include "tst_showlayers.moc"
