// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"
#include "controls/Tranbtn.h"
#include "fakes/FakeCdTrackCatalog.h"
#include "fakes/SongFixtures.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeDriveList.h"
#include "fakes/FakeMediaPlayer.h"
#include "fakes/RecordingErrorReporter.h"
#include "fakes/RecordingMciDevice.h"
#include "fakes/TestEnvironment.h"
#include "platform/Errors.h"
#include "platform/IniRegistry.h"
#include "platform/Timer.h"
#include "songs/SongEdit.h"
#include "songs/SongStruc.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QFile>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

namespace {
const QColor Black(0, 0, 0);
const QColor Green(0, 128, 0);
const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}
} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<IniRegistry> m_registry;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<FakeMediaPlayer> m_player;
    std::unique_ptr<FakeCdTrackCatalog> m_cd;
    FakeDriveList m_drives;
    std::unique_ptr<RecordingErrorReporter> m_errors;
    std::unique_ptr<TMainForm> m_form;
    QStringList m_files; // A, B, C, D in slots 0..3 of sheet 0

    QString makeFile(const QString& name)
    {
        const QString path = m_env->root() + QLatin1Char('/') + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("RIFF");
        return path;
    }

    void putSong(TSongInfo& store, int sheet, int slot, const QString& title, const QString& file)
    {
        store.SetSong(sheet, slot, makeSong(title, sheet, slot, file));
    }

    void createForm()
    {
        auto store = std::make_unique<TSongInfo>(*m_registry, *m_dialogs);
        const QStringList titles = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};
        for (int i = 0; i < titles.size(); ++i)
            putSong(*store, 0, i, titles[i], m_files[i]);
        putSong(*store, 0, 4, QStringLiteral("A again"), m_files[0]);
        m_form = std::make_unique<TMainForm>(MainFormServices{*m_registry, *m_dialogs, *m_player, *m_cd, m_drives},
                                             std::move(store));
    }

    TMTranBtn* button(int slot) const { return m_form->SongButtons[static_cast<std::size_t>(slot)]; }

    void press(int slot, bool shift = false, Qt::MouseButton which = Qt::LeftButton)
    {
        TMTranBtn* b = button(slot);
        Q_EMIT b->OnMouseDown(b, which, shift ? Qt::ShiftModifier : Qt::NoModifier, 5, 5);
        settle();
    }

    QList<QColor> colours(int count) const
    {
        QList<QColor> out;
        for (int k = 0; k < count; ++k)
            out << button(k)->fontColor();
        return out;
    }

    QString registryValue(const QString& section, const QString& name)
    {
        IniRegistry reg(m_env->configDir());
        if (!reg.OpenKey(QStringLiteral("Software\\Brasswold\\") + section, false))
            return QStringLiteral("<missing>");
        return reg.ValueExists(name) ? reg.ReadString(name) : QStringLiteral("<missing>");
    }

    bool idle() const
    {
        return !m_form->btnPlay->isEnabled() && !m_form->btnStop->isEnabled() && !m_form->btnPause->isEnabled()
            && !m_form->mnuStopSong->isEnabled() && !m_form->mnuStopAll->isEnabled()
            && !m_form->mnuPlaySong->isEnabled() && !m_form->WaveTimer->Enabled();
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_registry = std::make_unique<IniRegistry>(m_env->configDir());
        m_dialogs = std::make_unique<FakeDialogs>();
        m_player = std::make_unique<FakeMediaPlayer>();
        m_cd = std::make_unique<FakeCdTrackCatalog>();
        m_errors = std::make_unique<RecordingErrorReporter>();
        m_files = {makeFile(QStringLiteral("a.wav")), makeFile(QStringLiteral("b.wav")),
                   makeFile(QStringLiteral("c.wav")), makeFile(QStringLiteral("d.mp3"))};
        createForm();
    }

    void cleanup()
    {
        m_form.reset();
        m_errors.reset();
        m_player.reset();
        m_env.reset();
    }

    void startsIdleWithDefaultTabsAndTitles()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Sonavex"));
        QCOMPARE(m_form->Tabs->count(), 10);
        QCOMPARE(m_form->Tabs->tabText(9), QStringLiteral("Music Sheet 10"));
        QCOMPARE(button(0)->Caption(), QStringLiteral("A"));
        QCOMPARE(button(35)->Caption(), QStringLiteral("<empty>"));
        QCOMPARE(button(7)->BtnNumber(), 7);
        QCOMPARE(button(7)->Border(), BStyle::BsIe);
        QCOMPARE(button(7)->geometry(), QRect(40 + 105 * 1, 47 + 42 * 1, 105, 42));
        QVERIFY(idle());
        QVERIFY(m_form->btnFade->isEnabled());
        QCOMPARE(m_form->FadeSetting, 3);
        QVERIFY(m_form->CDPlayer == nullptr); // no CD device in the tests
        QVERIFY(m_errors->messages.isEmpty());
        // The shown sheet is decoded ahead.
        QVERIFY(m_player->hotList.contains(m_files[3]));
    }

    void firstRunWritesTheTenTabNamesAndTheSongs()
    {
        QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab0")), QStringLiteral("<missing>"));
        const QString infoPath = m_form->songInfo().infoPath();
        m_form.reset();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab%1").arg(i)),
                     QStringLiteral("Music Sheet %1").arg(i + 1));
        QCOMPARE(QFileInfo(infoPath).size(), 5 * 416);
        // Shutdown silenced the player before stopping it.
        const qsizetype off = m_player->log.indexOf(QStringLiteral("events off"));
        QVERIFY(off >= 0);
        QCOMPARE(m_player->log.at(off + 1), QStringLiteral("stop"));
    }

    void tabNamesAreReadByTheirOwnNames()
    {
        m_form.reset();
        IniRegistry reg(m_env->configDir());
        reg.OpenKey(QStringLiteral("Software\\Brasswold\\Tabs"), true);
        reg.WriteString(QStringLiteral("Tab5"), QStringLiteral("Encores"));
        reg.WriteString(QStringLiteral("Tab0"), QString());
        reg.WriteString(QStringLiteral("Tab1"), QStringLiteral("Openers"));
        createForm();
        QCOMPARE(m_form->Tabs->tabText(0), QStringLiteral("Music Sheet 1"));
        QCOMPARE(m_form->Tabs->tabText(1), QStringLiteral("Openers"));
        QCOMPARE(m_form->Tabs->tabText(5), QStringLiteral("Encores"));
    }

    void renameActsOnTheSelectedTabAndWritesOnlyChanges()
    {
        m_form->Tabs->setCurrentIndex(3);
        m_form->mnuChgTabNameClick(); // cancelled
        m_dialogs->inputAnswers << QStringLiteral("Music Sheet 4");
        m_form->mnuChgTabNameClick(); // OK on the unchanged text
        QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab3")), QStringLiteral("<missing>"));
        QCOMPARE(m_dialogs->inputs.first(),
                 QStringLiteral("New Tab Name|Change Music Sheet 4 to|Music Sheet 4"));

        m_dialogs->inputAnswers << QStringLiteral("Drums");
        m_form->mnuChgTabNameClick();
        QCOMPARE(registryValue(QStringLiteral("Tabs"), QStringLiteral("Tab3")), QStringLiteral("Drums"));
        QCOMPARE(m_form->Tabs->tabText(3), QStringLiteral("Drums"));
        QCOMPARE(m_form->Tabs->tabText(0), QStringLiteral("Music Sheet 1"));
    }

    void clearTabEmptiesTheSheetButLeavesTheQueue()
    {
        press(0);
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
        m_form->mnuClearTabClick();
        TSongRecord rec;
        for (int k = 0; k < 36; ++k)
            QVERIFY(!m_form->songInfo().GetSong(0, k, rec));
        QCOMPARE(button(0)->Caption(), QStringLiteral("<empty>"));
        QCOMPARE(button(0)->fontColor(), Black);
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[0]});
        m_player->finish();
        settle();
        QVERIFY(idle());
    }

    void queueOfThreePlaysInOrderWithItsColours()
    {
        press(0, true);
        QVERIFY(m_form->btnPlay->isEnabled());
        QVERIFY(!m_form->mnuPlaySong->isEnabled());
        press(1, true);
        press(2, true);
        QCOMPARE(m_form->PlayQueue, (QStringList{m_files[0], m_files[1], m_files[2]}));
        QCOMPARE(colours(3), (QList<QColor>{Red, Red, Red}));

        m_form->btnPlay->click();
        settle();
        QCOMPARE(m_player->fileName(), m_files[0]);
        QCOMPARE(colours(5), (QList<QColor>{Green, Yellow, Red, Black, Green}));
        QCOMPARE(m_form->StatusPanels[2]->text(), QStringLiteral("Now Playing ") + m_files[0]);
        QCOMPARE(m_form->StatusPanels[1]->text(), QStringLiteral("01:01"));
        QVERIFY(!m_form->btnPlay->isEnabled());
        QVERIFY(m_form->btnStop->isEnabled() && m_form->btnPause->isEnabled());

        m_player->finish();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(colours(3), (QList<QColor>{Black, Green, Yellow}));

        m_player->finish();
        settle();
        m_player->finish();
        settle();
        QVERIFY(m_form->PlayQueue.isEmpty());
        QVERIFY(idle());
        QCOMPARE(colours(5), (QList<QColor>(5, Black)));
        QCOMPARE(m_form->StatusPanels[2]->text(), QStringLiteral("Now Playing ") + m_files[2]);
    }

    void aPressStartsTheSoundBeforeRedrawingAnything()
    {
        const QStringList hotBefore = m_player->hotList;
        QString statusAtStart;
        QColor colourAtStart;
        QStringList hotAtStart;
        m_player->onStart = [&] {
            statusAtStart = m_form->StatusPanels[2]->text();
            colourAtStart = button(2)->fontColor();
            hotAtStart = m_player->hotList;
        };
        press(2);
        QCOMPARE(statusAtStart, QString());
        QCOMPARE(colourAtStart, Black);
        QCOMPARE(hotAtStart, hotBefore);
        // Once the press is handled it shows as it always did.
        QCOMPARE(m_form->StatusPanels[2]->text(), QStringLiteral("Now Playing ") + m_files[2]);
        QCOMPARE(colours(4), (QList<QColor>{Black, Black, Green, Black}));
        QCOMPARE(m_player->hotList.first(), m_files[2]);
        QVERIFY(m_form->btnStop->isEnabled() && m_form->mnuStopAll->isEnabled());
    }

    void shiftPressTakesASongOutAndEndsTheQueueEdit()
    {
        press(0, true);
        press(1, true);
        press(1, true);
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[0]});
        QCOMPARE(button(1)->fontColor(), Black);
        QVERIFY(!m_form->QueueMode);
        press(2); // a plain press plays at once
        QCOMPARE(m_player->fileName(), m_files[2]);
        press(10, true); // an empty slot: nothing, and the next press plays
        QVERIFY(!m_form->QueueMode);
    }

    void plainPressReplacesTheList()
    {
        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        press(3);
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[3]});
        QCOMPARE(m_player->fileName(), m_files[3]);
        // The replaced song was not reported stopped, so the new one stays at the head.
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
        QCOMPARE(colours(4), (QList<QColor>{Black, Black, Black, Green}));
    }

    void stopSongSkipsAndStopAllEnds()
    {
        for (int k : {0, 1, 2})
            press(k, true);
        m_form->btnPlay->click();
        settle();
        m_form->mnuStopSongClick();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_form->PlayQueue.size(), 2);

        m_form->mnuStopAllClick();
        settle();
        QVERIFY(m_form->PlayQueue.isEmpty());
        QCOMPARE(m_player->playState(), int(MediaPlayer::Stopped));
        QVERIFY(idle());
        QCOMPARE(colours(3), (QList<QColor>(3, Black)));
    }

    void pauseAndResumeSwapTheButtons()
    {
        press(0);
        m_form->btnPauseClick();
        settle();
        QCOMPARE(m_form->PlayState, TPlayState::psPaused);
        QVERIFY(m_form->btnPlay->isEnabled());
        QVERIFY(!m_form->btnPause->isEnabled());
        m_form->btnPlayClick();
        settle();
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
        QCOMPARE(m_player->fileName(), m_files[0]);
        QVERIFY(!m_form->btnPlay->isEnabled());
        QVERIFY(m_form->btnPause->isEnabled());
    }

    void plainPressWhilePausedStartsThePressedSong()
    {
        press(0);
        m_form->btnPauseClick();
        settle();
        press(1);
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[1]});
        QVERIFY(m_form->WaveTimer->Enabled());
    }

    void fadeTakesTwentyTicksAtSettingThreeThenTheNextSongStartsFull()
    {
        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        m_form->btnFadeClick();
        QVERIFY(m_form->FadeTimer->Enabled());
        for (int tick = 1; tick <= 20; ++tick) {
            QCOMPARE(m_form->FadeTimer->Enabled(), true);
            m_form->FadeTimerTimer();
        }
        settle();
        QCOMPARE(m_player->volumes.mid(0, 20).last(), -6000);
        QCOMPARE(m_player->volumes.first(), -300);
        QCOMPARE(m_player->volume(), 0);
        QVERIFY(!m_form->FadeTimer->Enabled());
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_player->playState(), int(MediaPlayer::Playing));
    }

    void aFadeEndsWithItsSong()
    {
        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        m_form->btnFadeClick();
        m_form->FadeTimerTimer();
        QCOMPARE(m_player->volume(), -300);
        m_form->mnuStopSongClick();
        settle();
        QVERIFY(!m_form->FadeTimer->Enabled());
        QCOMPARE(m_player->volume(), 0);
        QCOMPARE(m_player->fileName(), m_files[1]);
    }

    void theFadeSpeedComesFromTheSetting()
    {
        m_form->FadeSetting = 5;
        press(0);
        m_form->btnFadeClick();
        int ticks = 0;
        while (m_form->FadeTimer->Enabled() && ticks < 100) {
            m_form->FadeTimerTimer();
            ++ticks;
        }
        QCOMPARE(ticks, 60);
    }

    void takingThePlayingSongOutLetsItPlayOnAndKeepsTheNext()
    {
        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        press(0, true); // A plays but leaves the queue
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[1]});
        QCOMPARE(m_player->fileName(), m_files[0]);
        m_player->finish();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(m_form->PlayQueue, QStringList{m_files[1]});
        m_player->finish();
        settle();
        QVERIFY(idle());
    }

    void aMissingFileHaltsTheQueueAndStopSongSkipsIt()
    {
        QFile::remove(m_files[0]);
        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(m_dialogs->messages[0].text, QStringLiteral("Unable to find ") + m_files[0]);
        QCOMPARE(m_form->PlayQueue.size(), 2);
        QCOMPARE(m_form->StatusPanels[2]->text(), QStringLiteral("Now Playing ") + m_files[0]);
        m_form->mnuStopSongClick();
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
    }

    void anUnplayableFileIsReportedAndNothingElseChanges()
    {
        m_player->unplayable << m_files[2];
        press(2);
        QCOMPARE(m_errors->messages, QStringList{QStringLiteral("Unable to play ") + m_files[2]});
        QCOMPARE(m_form->PlayState, TPlayState::psStopped);
        press(3);
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
    }

    void cdSongsWithoutACdPlayerGiveOneClearError()
    {
        m_cd->tracks = 5;
        putSong(m_form->songInfo(), 0, 20, QStringLiteral("Track 2"), QStringLiteral("cdda://Track02.cda"));
        press(20);
        QCOMPARE(m_errors->messages.size(), 1);
        QVERIFY(m_errors->messages[0].startsWith(QStringLiteral("Unable to play cdda://Track02.cda: ")));
        QVERIFY(m_player->log.filter(QStringLiteral("FileName")).isEmpty());
        press(3);
        QCOMPARE(m_player->fileName(), m_files[3]);
    }

    void timeTextsRoundHalvesToEvenSeconds_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("3725.5") << 3725.5 << QStringLiteral("62:06");
        QTest::newRow("3726.5") << 3726.5 << QStringLiteral("62:06");
        QTest::newRow("75.4") << 75.4 << QStringLiteral("01:15");
        QTest::newRow("0.5") << 0.5 << QStringLiteral("00:00");
        QTest::newRow("1.5") << 1.5 << QStringLiteral("00:02");
        QTest::newRow("100 minutes") << 6000.0 << QStringLiteral("100:00");
    }

    void timeTextsRoundHalvesToEvenSeconds()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatSeconds(seconds), text);
    }

    void cdTrackTestAndNumber()
    {
        QVERIFY(IsCdTrack(QStringLiteral("D:\\Track05.cda")));
        QVERIFY(IsCdTrack(QStringLiteral("cdda://Track02.CDA")));
        QVERIFY(IsCdTrack(QStringLiteral("/media/x/Track1.Cda")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music/cda")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music.cda/song")));
        QVERIFY(!IsCdTrack(QStringLiteral("C:\\cd.cda\\x")));
        QVERIFY(!IsCdTrack(QStringLiteral("/music/song.cdaudio")));
        QCOMPARE(CdTrackNumber(QStringLiteral("D:\\Track05.cda")), 5);
        QCOMPARE(CdTrackNumber(QStringLiteral("cdda://Track12.cda")), 12);
        try {
            (void)CdTrackNumber(QStringLiteral("/my.music/Track05.cda"));
            QFAIL("no error");
        } catch (const ConvertError& e) {
            QCOMPARE(e.message(), QStringLiteral("'my' is not a valid integer value"));
        }
    }

    void ctrlSReachesStopSongNeverStayOnTop()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_form->activateWindow();
        QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!m_form->mnuStayOnTop->isChecked());
        QVERIFY(!m_player->log.contains(QStringLiteral("stop")));

        press(0, true);
        press(1, true);
        m_form->btnPlay->click();
        settle();
        QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(!m_form->mnuStayOnTop->isChecked());
        QCOMPARE(m_player->fileName(), m_files[1]);
        QVERIFY(m_form->mnuStayOnTop->text().endsWith(QStringLiteral("\tCtrl+S")));
    }

    void ieStyleSwitchesEveryButton()
    {
        m_form->mnuIEStyle->trigger();
        QVERIFY(!m_form->mnuIEStyle->isChecked());
        QCOMPARE(button(0)->Border(), BStyle::BsNormal);
        QCOMPARE(button(35)->Border(), BStyle::BsNormal);
        m_form->mnuIEStyle->trigger();
        QCOMPARE(button(35)->Border(), BStyle::BsIe);
    }

    void cdSongsGoToTheCdPlayerByTheirTrackNumber()
    {
        m_form.reset();
        RecordingMciDevice cd(QStringLiteral("cdaudio"), Mci::Sharing::OneMedium);
        cd.setStatus(MCI_STATUS_NUMBER_OF_TRACKS, 12);
        cd.setStatus(MCI_STATUS_MODE, MCI_MODE_STOP);
        m_cd->tracks = 12;
        createForm();
        QVERIFY(m_form->CDPlayer);
        putSong(m_form->songInfo(), 0, 20, QStringLiteral("Track 5"), QStringLiteral("cdda://Track05.CDA"));
        cd.setStatus(MCI_STATUS_MODE, MCI_MODE_PLAY);
        press(20);
        const auto plays = cd.requestsOf(MCI_PLAY);
        QCOMPARE(plays.size(), 1);
        QCOMPARE(plays[0].flags, quint32(MCI_FROM | MCI_TO));
        QCOMPARE(plays[0].field("dwFrom"), quint32(5));
        QCOMPARE(m_form->PlayState, TPlayState::psPlaying);
        QVERIFY(m_player->log.filter(QStringLiteral("FileName")).isEmpty());
        QCOMPARE(button(20)->fontColor(), Green);

        // A media song stops the playing CD first.
        press(3);
        QCOMPARE(cd.requestsOf(MCI_STOP).size(), 1);
        QCOMPARE(m_player->fileName(), m_files[3]);
        m_form.reset(); // closes the device while the recording type is still there
    }

    void songAttributesOpenForTheLastPressedSlotAndRedraw()
    {
        QCOMPARE(m_form->Tag, 0); // before any press: slot 0
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<TfrmSongEdit*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->edtSongTitle->text(), QStringLiteral("A"));
            dialog->edtSongTitle->setText(QStringLiteral("Overture"));
            dialog->BitBtn1->click();
        });
        m_form->mnuSongAttributes->trigger();
        QCOMPARE(button(0)->Caption(), QStringLiteral("Overture"));

        press(2, true);
        QCOMPARE(m_form->Tag, 2);
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<TfrmSongEdit*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->edtSongTitle->text(), QStringLiteral("C"));
            dialog->reject();
        });
        m_form->EditSongStats1Click();
        QCOMPARE(button(2)->Caption(), QStringLiteral("C"));
    }

    void stayOnTopTogglesTheWindowFlag()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        const QRect before = m_form->geometry();
        m_form->mnuStayOnTop->trigger();
        QVERIFY(m_form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(m_form->isVisible());
        QCOMPARE(m_form->geometry(), before);
        m_form->mnuStayOnTop->trigger();
        QVERIFY(!m_form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void aRightClickPlaysAndThenOpensTheSheetMenu()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QTest::mouseClick(button(1), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
        settle();
        QCOMPARE(m_player->fileName(), m_files[1]);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(!button(1)->Pressed());
        m_form->TabPopup->hide();

        QTest::mouseClick(m_form->Tabs, Qt::RightButton, Qt::NoModifier, QPoint(20, 5));
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        m_form->TabPopup->hide();

        // The menu key opens it too, wherever the focus is in the window.
        m_form->Tabs->setFocus();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), m_form->Tabs->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(m_form->Tabs, &key);
        QTRY_VERIFY(m_form->TabPopup->isVisible());
        QVERIFY(m_form->TabPopup->actions().contains(m_form->mnuSongAttributes));
        m_form->TabPopup->hide();
    }

    void tabChangeShowsThatSheet()
    {
        putSong(m_form->songInfo(), 4, 35, QStringLiteral("Finale"), m_files[2]);
        m_form->Tabs->setCurrentIndex(4);
        QCOMPARE(button(35)->Caption(), QStringLiteral("Finale"));
        QCOMPARE(button(0)->Caption(), QStringLiteral("<empty>"));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_frmmain.moc"
